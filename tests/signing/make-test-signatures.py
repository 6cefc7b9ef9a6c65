#!/usr/bin/env python3
"""Makes the signed test material for the signature tests, with openssl and osslsigncode.

Usage: make-test-signatures.py FIXTURE_EXE OUTPUT_DIR

Writes into OUTPUT_DIR:
  TestRoot.cer       a test root certificate (DER), for the test to add to the Root store
  SignedFixture.exe  the fixture signed by a leaf of that root (leaf and root embedded, no timestamp)
  ListedFixture.exe  an unsigned copy of the fixture with a few bytes added, so that its hash is its own
  TestCatalog.cat    a catalog signed by the same leaf that lists ListedFixture.exe

What Wine 8 needs to judge these as Windows would: the leaf signed by its root with SHA-1 (Wine
applies the chain policy only then), the root embedded in each signature, the catalog signed with a
SHA-1 digest (a SHA-256 one crashes its catalog enumeration) and countersigned with a signing time
(without one its chain is checked as of 1601). The catalog lists the copy by the SHA-1 of its bytes,
which is Wine's catalog hash (Windows hashes a PE without its checksum and signature).
"""

import datetime
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

SIGNER_NAME = "Morvane Test Signer"
ROOT_NAME = "Morvane Test Root"


# DER, just what a catalog needs.
def der(tag, content):
    size = len(content)
    if size < 0x80:
        head = bytes([size])
    else:
        octets = size.to_bytes((size.bit_length() + 7) // 8, "big")
        head = bytes([0x80 | len(octets)]) + octets
    return bytes([tag]) + head + content


def seq(*items):
    return der(0x30, b"".join(items))


def set_of(*items):
    return der(0x31, b"".join(sorted(items)))


def oid(dotted):
    parts = [int(p) for p in dotted.split(".")]
    body = bytes([parts[0] * 40 + parts[1]])
    for part in parts[2:]:
        chunk = [part & 0x7F]
        part >>= 7
        while part:
            chunk.insert(0, 0x80 | (part & 0x7F))
            part >>= 7
        body += bytes(chunk)
    return der(0x06, body)


def integer(value):
    return der(0x02, value.to_bytes((value.bit_length() + 8) // 8, "big"))


def octet_string(data):
    return der(0x04, data)


def utc_time(when):
    return der(0x17, when.strftime("%y%m%d%H%M%SZ").encode())


def bmp_string(text):
    return der(0x1E, text.encode("utf-16-be"))


NULL = b"\x05\x00"
SHA1 = seq(oid("1.3.14.3.2.26"), NULL)


def parse(data, offset=0):
    """One TLV at offset: (tag, start of content, end)."""
    tag = data[offset]
    size = data[offset + 1]
    start = offset + 2
    if size & 0x80:
        count = size & 0x7F
        if count == 0:
            raise ValueError("indefinite length: not DER")
        size = int.from_bytes(data[start:start + count], "big")
        start += count
    return tag, start, start + size


def children(data, start, end):
    items = []
    while start < end:
        tag, content, finish = parse(data, start)
        items.append(data[start:finish])
        start = finish
    return items


def run(*command):
    """Runs a tool quietly; what it said goes to the build's output only when it fails."""
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        sys.stderr.write(done.stdout.decode(errors="replace"))
        raise SystemExit("%s failed with %d" % (command[0], done.returncode))


def make_certificates(work):
    root_key, root_pem = os.path.join(work, "root.key"), os.path.join(work, "root.pem")
    leaf_key, leaf_csr = os.path.join(work, "leaf.key"), os.path.join(work, "leaf.csr")
    leaf_pem, leaf_ext = os.path.join(work, "leaf.pem"), os.path.join(work, "leaf.ext")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", root_key, "-out", root_pem,
        "-days", "3650", "-sha1", "-subj", "/CN=" + ROOT_NAME,
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", leaf_key, "-out", leaf_csr,
        "-subj", "/CN=" + SIGNER_NAME)
    with open(leaf_ext, "w") as ext:
        ext.write("basicConstraints=CA:FALSE\nkeyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n")
    run("openssl", "x509", "-req", "-in", leaf_csr, "-CA", root_pem, "-CAkey", root_key, "-set_serial", "2",
        "-days", "3650", "-sha1", "-extfile", leaf_ext, "-out", leaf_pem)
    chain = os.path.join(work, "chain.pem")
    with open(chain, "w") as out:
        for part in (leaf_pem, root_pem):
            with open(part) as text:
                out.write(text.read())
    return root_pem, leaf_pem, leaf_key, chain


def catalog_list(member_digest):
    """The certificate trust list of a catalog with one member, named by the hex of its digest."""
    tag = member_digest.hex().upper()
    member_info = seq(oid("1.3.6.1.4.1.311.12.2.2"),
                      set_of(seq(bmp_string("{C689AAB8-8E78-11D0-8C47-00C04FC295EE}"), integer(512))))
    indirect_data = seq(oid("1.3.6.1.4.1.311.2.1.4"),
                        set_of(seq(seq(oid("1.3.6.1.4.1.311.2.1.15"), seq(der(0x03, b"\x00"))),
                                   seq(SHA1, octet_string(member_digest)))))
    subject = seq(octet_string((tag + "\0").encode("utf-16-le")), set_of(member_info, indirect_data))
    return seq(seq(oid("1.3.6.1.4.1.311.12.1.1")),
               octet_string(hashlib.sha1(tag.encode()).digest()[:16]),
               utc_time(datetime.datetime.now(datetime.timezone.utc)),
               seq(oid("1.3.6.1.4.1.311.12.1.2"), NULL),
               seq(subject))


def countersign(signer_info, leaf_key, work):
    """The signer info with a countersignature that carries a signing time."""
    fields = children(signer_info, *parse(signer_info)[1:])
    issuer_and_serial = fields[1]
    signature = fields[5]
    signature_value = signature[parse(signature)[1]:]
    attributes = set_of(
        seq(oid("1.2.840.113549.1.9.3"), set_of(oid("1.2.840.113549.1.7.1"))),
        seq(oid("1.2.840.113549.1.9.5"), set_of(utc_time(datetime.datetime.now(datetime.timezone.utc)))),
        seq(oid("1.2.840.113549.1.9.4"), set_of(octet_string(hashlib.sha1(signature_value).digest()))))
    attributes_file = os.path.join(work, "counter.der")
    with open(attributes_file, "wb") as out:
        out.write(attributes)
    counter_signature = subprocess.run(["openssl", "dgst", "-sha1", "-sign", leaf_key, attributes_file],
                                       check=True, stdout=subprocess.PIPE).stdout
    counter_signer = seq(integer(1), issuer_and_serial, SHA1, der(0xA0, attributes[parse(attributes)[1]:]),
                         seq(oid("1.2.840.113549.1.1.1"), NULL), octet_string(counter_signature))
    unsigned = der(0xA1, seq(oid("1.2.840.113549.1.9.6"), set_of(counter_signer)))
    return seq(*fields, unsigned)


def make_catalog(member_digest, leaf_pem, leaf_key, root_pem, work, output):
    content = os.path.join(work, "catalog-list.der")
    trust_list = catalog_list(member_digest)
    # The signature covers the list's content without its outer tag and length, as PKCS #7 has it
    # for content that is not plain data.
    with open(content, "wb") as out:
        out.write(trust_list[parse(trust_list)[1]:])
    signed = os.path.join(work, "catalog-signed.der")
    run("openssl", "cms", "-sign", "-binary", "-nodetach", "-nosmimecap", "-md", "sha1",
        "-econtent_type", "1.3.6.1.4.1.311.10.1", "-in", content, "-signer", leaf_pem, "-inkey", leaf_key,
        "-certfile", root_pem, "-outform", "DER", "-out", signed)
    with open(signed, "rb") as text:
        message = text.read()
    # ContentInfo { type, [0] { SignedData { ..., signerInfos SET { SignerInfo } } } }
    outer = children(message, *parse(message)[1:])
    explicit = outer[1]
    signed_data = children(explicit, *parse(explicit)[1:])[0]
    parts = children(signed_data, *parse(signed_data)[1:])
    signer_infos = parts[-1]
    signer = children(signer_infos, *parse(signer_infos)[1:])[0]
    parts[-1] = set_of(countersign(signer, leaf_key, work))
    # As catalogs are: version 1, and the list itself as the content rather than an octet string.
    parts[0] = integer(1)
    encapsulated = children(parts[2], *parse(parts[2])[1:])
    parts[2] = seq(encapsulated[0], der(0xA0, trust_list))
    catalog = seq(outer[0], der(0xA0, seq(*parts)))
    # Wine reads a catalog whose size is its DER length, not one byte more.
    with open(output, "wb") as out:
        out.write(catalog)


def main():
    fixture, output = sys.argv[1], sys.argv[2]
    os.makedirs(output, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        root_pem, leaf_pem, leaf_key, chain = make_certificates(work)
        run("openssl", "x509", "-in", root_pem, "-outform", "DER", "-out", os.path.join(output, "TestRoot.cer"))
        run("osslsigncode", "sign", "-certs", chain, "-key", leaf_key, "-n", "Morvane signature test",
            "-in", fixture, "-out", os.path.join(output, "SignedFixture.exe.new"))
        os.replace(os.path.join(output, "SignedFixture.exe.new"), os.path.join(output, "SignedFixture.exe"))
        listed = os.path.join(output, "ListedFixture.exe")
        shutil.copyfile(fixture, listed)
        with open(listed, "ab") as out:
            out.write(b"listed in a test catalog")
        with open(listed, "rb") as data:
            digest = hashlib.sha1(data.read()).digest()
        make_catalog(digest, leaf_pem, leaf_key, root_pem, work, os.path.join(output, "TestCatalog.cat"))


if __name__ == "__main__":
    main()
