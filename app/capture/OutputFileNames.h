#pragma once

namespace Morvane {

// The names of the files one run writes: in each window's folder, and in the output directory.
constexpr wchar_t kInfoFileName[] = L"Morvane.Info.txt";
constexpr wchar_t kWindowPictureFileName[] = L"Morvane.Window.jpg";
constexpr wchar_t kMonitorPictureFileName[] = L"Morvane.DisplayMonitor.jpg";
constexpr wchar_t kRunRecordFileName[] = L"Morvane.Run.json";
constexpr wchar_t kRunPageFileName[] = L"Morvane.Run.html";

} // namespace Morvane
