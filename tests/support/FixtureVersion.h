// The strings of DesktopFixture.exe's version resource, for its resource script and for the tests
// that read them back: the company, product and description lie outside the ANSI code page, and
// the description carries markup that a page must show as text. Plain #defines, as the resource
// compiler reads this file too.
#pragma once

#define FIXTURE_VERSION_COMPANY L"Fixture \x03A9\x03BC\x03AD\x03B3\x03B1 Works \x6F22\x5B57"
#define FIXTURE_VERSION_PRODUCT L"Desktop Fixture \x2603"
#define FIXTURE_VERSION_DESCRIPTION L"Fixture windows \x0416\x0443\x043A <i id=versionInjected>!</i>"
#define FIXTURE_VERSION_FILE_VERSION L"3.1.4.1"
#define FIXTURE_VERSION_ORIGINAL_FILENAME L"DesktopFixture.exe"
