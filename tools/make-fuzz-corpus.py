#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora under fuzz/corpus/<target>/ from the recordings in
tests/data: the capture files themselves (whole and cut short), the IPv4 datagrams in them,
the HTTP responses their TCP payloads carry, and the same exchanges as the stream
assembler's input. Also a default settings file, typical Filter Setup texts and update
check answers. Standard library only; run from anywhere, rerun after changing the data."""
import hashlib
import os
import shutil
import struct
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
DATA = os.path.join(ROOT, "tests", "data")
OUT = os.path.join(ROOT, "fuzz", "corpus")

RECORDINGS = ["http_exchange_lo.pcap", "http_exchange_any_sll.pcap",
              "http_exchange_any_sll2.pcap"]
RESPONSES = ["python10_page_html.response", "python10_logo_gif.response",
             "chunked_gzip_page_html.response"]
# Link-layer header length per link type: Ethernet, Linux cooked v1 and v2, raw IP.
LINK_HEADER = {1: 14, 113: 16, 276: 20, 101: 0, 228: 0}


def read_pcap(path):
    """The file header and the (record header, data) pairs of a little-endian pcap file."""
    with open(path, "rb") as f:
        blob = f.read()
    magic, _, _, _, _, _, link = struct.unpack_from("<IHHiIII", blob, 0)
    if magic not in (0xA1B2C3D4, 0xA1B23C4D):
        sys.exit(f"{path}: not a little-endian pcap file")
    records, at = [], 24
    while at + 16 <= len(blob):
        caplen = struct.unpack_from("<I", blob, at + 8)[0]
        records.append((blob[at:at + 16], blob[at + 16:at + 16 + caplen]))
        at += 16 + caplen
    return blob[:24], link, records


def datagrams(path):
    """The IPv4 datagrams of a recording, cut at the header's total length."""
    _, link, records = read_pcap(path)
    out = []
    for _, frame in records:
        ip = frame[LINK_HEADER[link]:]
        if len(ip) >= 20 and ip[0] >> 4 == 4:
            out.append(ip[:struct.unpack_from(">H", ip, 2)[0]])
    return out


def tcp_payload(ip):
    header = (ip[0] & 0x0F) * 4
    return ip[header + (ip[header + 12] >> 4) * 4:]


def server_to_client(dgrams):
    """The payload bytes the server sent (source port below the client's), in order."""
    out = b""
    for ip in dgrams:
        if ip[9] != 6:
            continue
        header = (ip[0] & 0x0F) * 4
        sport, dport = struct.unpack_from(">HH", ip, header)
        if sport < dport:
            out += tcp_payload(ip)
    return out


def checksum(words):
    total = sum(struct.unpack(f">{len(words) // 2}H", words))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def segments(payload, size=1400, ack=0x01020304):
    """A response sent from 127.0.0.1:8000 to 127.0.0.1:40000 in TCP segments."""
    out, seq = [], 1000
    for at in range(0, len(payload), size):
        piece = payload[at:at + size]
        tcp = struct.pack(">HHIIBBHHH", 8000, 40000, seq, ack, 5 << 4, 0x18, 65535, 0, 0)
        ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 40 + len(piece), 1, 0x4000, 64, 6, 0,
                         bytes([127, 0, 0, 1]), bytes([127, 0, 0, 1]))
        ip = ip[:10] + struct.pack(">H", checksum(ip)) + ip[12:]
        out.append(ip + tcp + piece)
        seq += len(piece)
    return out


def assembler_input(mode, dgrams):
    """The stream assembler target's form: a mode byte, then length-prefixed datagrams."""
    return bytes([mode]) + b"".join(struct.pack(">H", len(d)) + d for d in dgrams)


def settings_record(home="/home/user/"):
    """The default settings record, as the program writes it on first run."""
    r = bytearray(20672)

    def text(offset, width, value):
        value = value.encode()[:width - 1]
        r[offset:offset + len(value) + 1] = value + b"\0"

    for flag in (0, 4109, 4111, 5140, 9426, 9427, 9428, 9429, 20666, 20667):
        r[flag] = 1
    struct.pack_into("<H", r, 5138, 10000)
    struct.pack_into("<i", r, 12068, 60)
    text(4113, 1024, home)
    for offset in (5141, 5161, 5181, 5201, 5241, 5261, 5281, 5301):
        text(offset, 20, "0.0.0.0")
    text(18618, 1024, "%SIP to %DIP - [%DAT]")
    text(19642, 1024, "%Y.%MY.%D - %H24:%MN:%S.%MS")
    return r


def configured_record():
    """Defaults plus a filter in use: lists, sizes, strings, File Mode and a log."""
    r = settings_record()
    struct.pack_into("<I", r, 4, 1)
    for offset, ports in ((12496, (80, 443)), (12696, (8080,)), (13296, (53, 123, 65535))):
        struct.pack_into(f"<{len(ports)}H", r, offset, *ports)
    for offset in (9440, 12096):
        r[offset:offset + 8] = bytes([127, 0, 0, 1, 10, 0, 0, 2])
    struct.pack_into("<ii", r, 9432, 40, 1500)
    r[5330:5335] = b"HTTP\0"
    r[11040] = r[12072] = 1
    r[11041:11054] = b"/tmp/log.txt\0"
    return r


def write(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def write_unique(target, stem, items):
    seen = set()
    for i, data in enumerate(items):
        digest = hashlib.sha1(data).hexdigest()
        if digest not in seen:
            seen.add(digest)
            write(target, f"{stem}-{i:02d}", data)


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    responses = [open(os.path.join(DATA, "http", n), "rb").read() for n in RESPONSES]

    # The capture files: whole, and cut after the handshake and after the response header.
    for name in RECORDINGS:
        path = os.path.join(DATA, name)
        header, _, records = read_pcap(path)
        write("pcap_file_source", name, open(path, "rb").read())
        for keep in (3, 6):
            write("pcap_file_source", f"{name[:-5]}-first{keep}.pcap",
                  header + b"".join(h + d for h, d in records[:keep]))

    lo = datagrams(os.path.join(DATA, RECORDINGS[0]))
    write_unique("packet_record", "lo", lo)

    recorded = server_to_client(lo)
    write("http_response", "recorded_http10_200", recorded)
    write("http_response", "recorded_http10_header_only", recorded[:recorded.find(b"\r\n\r\n") + 4])
    for name, data in zip(RESPONSES, responses):
        write("http_response", name, data)

    write("stream_reassembly", "recorded_lo", assembler_input(0, lo))
    write("stream_reassembly", "recorded_lo_dirty", assembler_input(1, lo))
    for name, data in zip(RESPONSES, responses):
        write("stream_reassembly", name, assembler_input(0, segments(data)))

    write("settings_file", "defaults.BCS", settings_record())
    write("settings_file", "configured.BCS", configured_record())
    write("settings_file", "short.BCS", settings_record()[:5000])

    # Filter Setup lines: ports (5), sizes (2), strings (6), resolver, entries (5), rows.
    filters = {
        "empty": [],
        "web": ["80,443", "", "8080", "", "", "40", "1500", "GET", "", "", "favicon", "", "",
                "localhost", "127.0.0.1", "", "10.0.0.1", "", "", "127.0.0.1", "10.0.0.2",
                "192.168.1.1", "10.1.2.3", "0.0.0.0"],
        "ranges": ["1000-2000", "0,65535,65536", "007 8 9", " 53 ; 123 ", "99999999999",
                   "", "", "", "", "", "", "", "", "", "1.2.3", "01.2.3.4", "256.1.1.1",
                   "1.2.3.4 ", "255.255.255.255"],
        "strings": ["", "", "", "", "", "0", "0", "Host: ", "HTTP/1.1 200", "\xc3\xa9t\xc3\xa9",
                    "Content-Type", "gzip", "chunked", "example.com"],
    }
    for name, lines in filters.items():
        write("filter_text", name, "\n".join(lines).encode())
    write("filter_text", "many_ports", ",".join(str(p) for p in range(1, 130)).encode())
    filter_datagram = lo[3]  # the GET request, so the string stages see a payload
    write("filter_text", "datagram_with_lines",
          b"80\n\n\n\n\n\n\n\nGET\n\n\nPOST\n\n\n127.0.0.1\n" + filter_datagram)

    for piece, status in ((255, b"200 OK"), (0, b"404 Not Found"), (4, b"500 Oops")):
        write("version_reply", f"status_{status[:3].decode()}",
              bytes([piece]) + b"HTTP/1.1 " + status + b"\r\nContent-Length: 0\r\n\r\n")

    total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(OUT) for f in fs)
    print(f"{OUT}: {total} bytes")


if __name__ == "__main__":
    main()
