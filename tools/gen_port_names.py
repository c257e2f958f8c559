#!/usr/bin/env python3
"""Generates names/port_name_data.cpp, the TCP and UDP port description tables.

Usage:
    python3 tools/gen_port_names.py [--data DIR] [--output FILE] [--check]

DIR holds iana-service-names-port-numbers.csv (the IANA service name and port number
registry as CSV) and nmap-services (nmap's port list, whose comments keep many historic
registry descriptions and the names of known backdoor ports). The default is the
"shared/data" folder beside the repository. --check compares instead of writing and exits
with status 1 when the committed file differs from what the inputs give.

Which ports hold an entry is fixed below (TCP_PORTS, UDP_PORTS), and so are the texts the
program is known by (FIXED_*). Every other listed port takes, in this order:
  1. the current registry's description of that port and protocol;
  2. our own text (OWN_*), where the registry has no description and the historic comment
     is missing, only a bare alias, a personal remark or cut short;
  3. the historic comment of nmap-services;
  4. the registry's status text ("Reserved", "Removed", ...), never "Unassigned";
  5. the registered service name where the registry gives no description (the registry
     itself describes hundreds of ports by their service name alone).
A listed port that none of these covers stops the generator, so the table never gains an
empty entry by accident. Python 3 standard library only; the output depends on nothing but
the inputs (same inputs, same bytes).
"""

import argparse
import csv
import hashlib
import os
import re
import sys

TCP_ENTRIES = 65302  # ports 0..65301
UDP_ENTRIES = 54322  # ports 0..54321

# Ports that hold an entry. Everything else in a table is empty and shows as "Unknown".
TCP_PORTS = """
0-224, 242-248, 256-268, 280-284, 286-287, 308-322, 333, 344-600, 606-698, 704-707, 709-711,
729-731, 740-742, 744, 747-754, 758-765, 767, 769-777, 780-783, 786-787, 799-801, 810, 828-829,
871, 873, 886-888, 900-903, 911, 989-1000, 1008, 1010-1011, 1023-1026, 1030-1032, 1047-1112,
1114-1117, 1123, 1127, 1155, 1161-1162, 1169, 1178, 1180, 1188, 1200-1229, 1234, 1239, 1241,
1243, 1245, 1248, 1300, 1310-1314, 1319-1321, 1335, 1345-1774, 1776-1844, 1850-1851, 1860-1865,
1870-1874, 1881, 1895, 1899-1924, 1930-1931, 1944-1953, 1961-1967, 1972-1979, 1984-2028, 2030,
2032-2035, 2038, 2040-2049, 2053-2054, 2065, 2067, 2090-2152, 2165-2166, 2180-2181, 2200-2202,
2213, 2220-2223, 2232-2245, 2279-2288, 2294-2311, 2313-2370, 2381-2384, 2389-2451, 2453-2532,
2534-2823, 2826-2854, 2856-2891, 2893-3043, 3045-3063, 3065-3070, 3075-3086, 3105-3106,
3128-3131, 3141-3145, 3147-3151, 3180-3182, 3262, 3264-3321, 3325-3366, 3371-3401, 3421,
3454-3471, 3535, 3563, 3572, 3672, 3802, 3845, 3862, 3875, 3900, 3984-3987, 4000-4019, 4045,
4096-4099, 4132-4134, 4141-4144, 4160, 4199, 4299-4300, 4321, 4333, 4343-4351, 4353, 4442-4457,
4500-4501, 4545-4547, 4557, 4559, 4567-4568, 4600-4601, 4672, 4800-4802, 4827, 4837-4838,
4868-4869, 4885, 4983, 5000-5007, 5010-5011, 5020-5021, 5042, 5050-5052, 5055, 5060, 5069, 5071,
5093, 5099, 5145, 5150-5152, 5165, 5190-5193, 5200-5203, 5232, 5236, 5272, 5300-5311, 5400-5423,
5426-5432, 5435, 5454-5456, 5461-5462, 5465, 5500-5504, 5510, 5520, 5530, 5540, 5550, 5554-5556,
5559, 5599-5605, 5631-5632, 5678-5680, 5713-5717, 5729, 5741-5742, 5745-5746, 5755, 5757,
5766-5768, 5771, 5800-5801, 5813, 5859, 5968-5969, 5977-5979, 5997-6001, 6063-6073, 6100-6112,
6123, 6141-6149, 6253, 6321-6322, 6346, 6389, 6400-6410, 6455-6456, 6471, 6500-6503, 6505-6508,
6547-6550, 6558, 6665-6667, 6669-6670, 6672-6673, 6699-6701, 6711, 6723, 6767-6768, 6776, 6790,
6831, 6841-6842, 6850, 6888, 6961-6966, 6969, 6998-7015, 7020-7021, 7070, 7099-7100, 7121, 7141,
7161, 7174, 7200-7201, 7323, 7326, 7390, 7395, 7426-7431, 7437, 7491, 7511, 7544-7545, 7566,
7570, 7588, 7597, 7633, 7640, 7777-7778, 7781, 7786, 7932-7933, 7967, 7979-7980, 7999-8002, 8008,
8032-8033, 8080, 8130-8131, 8160-8161, 8181, 8200-8201, 8204-8208, 8351, 8376-8380, 8400-8403,
8431, 8450, 8473, 8554, 8733, 8763-8765, 8804, 8880, 8888-8894, 8900-8901, 8999-9001, 9090, 9100,
9160-9164, 9200-9207, 9321, 9343-9344, 9374, 9396-9397, 9500, 9535, 9537, 9594-9595, 9600, 9753,
9876, 9888, 9898-9900, 9909, 9950-9952, 9992-10005, 10007, 10012, 10080, 10082-10083,
10113-10115, 10128, 10288, 10520, 11000-11001, 11111, 11367, 11720, 12000-12004, 12172,
12345-12346, 12361-12362, 12753-12754, 13160, 13223-13224, 13326, 13720-13722, 13782-13783,
13818-13822, 14001, 15104, 16360-16361, 16367-16368, 16660, 16959, 16991, 17007, 17219, 18000,
18181-18185, 18187, 18463, 18753, 18888, 19283, 19315, 19410-19412, 19541, 20000, 20005, 20034,
20432, 20670, 20999, 21554, 21590, 21845-21849, 22000-22001, 22273, 22289, 22305, 22321, 22555,
22800, 22951, 24000-24006, 24386, 24554, 25000-25009, 25793, 26000, 26208, 26274, 27374, 27665,
27999, 30100-30102, 31337, 31785, 31787, 32000, 32768-32771, 32780, 33434, 34324, 36865,
40421-40423, 40426, 40841, 43118, 43188, 44818, 45678, 45966, 47262, 47557, 47624, 47806, 47808,
48000-48003, 54320, 65000, 65301
"""

UDP_PORTS = """
0-99, 101-224, 242-248, 256-268, 280-284, 286-287, 308-322, 333, 344-600, 606-698, 704-707,
709-711, 729-731, 740-742, 744, 747-754, 758-765, 767, 769-777, 780-783, 786-787, 800-801, 810,
828-829, 873, 886-888, 900-903, 911, 989-1000, 1008, 1010, 1012, 1023-1025, 1030-1032,
1047-1108, 1110-1112, 1114-1117, 1123, 1155, 1161-1162, 1167, 1169, 1180, 1188, 1200-1229, 1234,
1239, 1248, 1300, 1310-1314, 1319-1321, 1335, 1345-1774, 1776-1844, 1850-1851, 1860-1865,
1870-1874, 1881, 1895, 1899-1924, 1930-1931, 1944-1953, 1961-1967, 1972-1979, 1984-2002,
2004-2028, 2030, 2032-2035, 2038, 2040-2049, 2065, 2067, 2090-2152, 2165-2166, 2180-2181,
2200-2202, 2213, 2220-2223, 2232-2245, 2279-2288, 2294-2311, 2313-2370, 2381-2384, 2389-2451,
2453-2532, 2534-2563, 2565-2823, 2826-2854, 2856-2891, 2893-3043, 3045-3063, 3065-3070,
3075-3086, 3105-3106, 3130-3131, 3141-3145, 3147-3151, 3180-3182, 3262, 3264-3299, 3301-3321,
3325-3366, 3371-3401, 3421, 3454-3471, 3535, 3563, 3572, 3672, 3802, 3845, 3862, 3875, 3900,
3984-3987, 4000-4019, 4045, 4096-4099, 4132-4134, 4141-4144, 4160, 4199, 4299-4300, 4321,
4343-4351, 4353, 4442-4457, 4500-4501, 4545-4547, 4567-4568, 4600-4601, 4672, 4800-4802, 4827,
4837-4839, 4868-4869, 4885, 4983, 5000-5007, 5010-5011, 5020-5021, 5042, 5050-5052, 5055, 5060,
5069, 5071, 5093, 5099, 5145, 5150-5152, 5165, 5190-5193, 5200-5203, 5236, 5272, 5300-5311,
5400-5423, 5426-5431, 5435, 5454-5456, 5461-5462, 5465, 5500-5504, 5540, 5554-5555, 5599-5605,
5631-5632, 5678-5679, 5713-5717, 5729, 5741-5742, 5745-5746, 5755, 5757, 5766-5768, 5771, 5813,
5859, 5968-5969, 5999, 6063-6073, 6100-6112, 6123, 6141-6149, 6253, 6321-6322, 6389, 6400-6410,
6455-6456, 6471, 6500-6503, 6505-6508, 6547-6550, 6558, 6669-6670, 6672-6673, 6699-6701,
6767-6768, 6790, 6831, 6838, 6841-6842, 6850, 6888, 6961-6966, 6969, 6998-7015, 7020-7021, 7070,
7099-7100, 7121, 7141, 7170, 7174, 7200-7201, 7390, 7395, 7426-7431, 7437, 7491, 7511,
7544-7545, 7566, 7570, 7588, 7597, 7633, 7640, 7648-7651, 7777-7778, 7781, 7786, 7932-7933,
7967, 7979-7980, 7983, 7999-8002, 8008, 8032-8033, 8080, 8130-8131, 8160-8161, 8200-8201,
8204-8208, 8351, 8376-8380, 8400-8403, 8450, 8473, 8554, 8733, 8763-8765, 8804, 8880, 8888-8894,
8900-8901, 9000, 9090, 9160-9164, 9200-9207, 9321, 9325, 9343-9344, 9374, 9396-9397, 9500, 9535,
9594-9595, 9600, 9753, 9876, 9888, 9898-9900, 9909, 9950-9952, 9992-10012, 10067, 10080,
10113-10115, 10128, 10167, 10288, 10498, 11000-11001, 11111, 11367, 11720, 12000-12004, 12172,
12753, 13160, 13223-13224, 13720-13722, 13782-13783, 13818-13822, 14001, 16360-16361,
16367-16368, 16991, 17007, 17219, 18000, 18181-18185, 18187, 18463, 18753, 18888, 19283, 19315,
19410-19412, 19541, 20000, 20432, 20670, 20999, 21590, 21845-21849, 22000-22001, 22273, 22555,
22800, 22951, 24000-24006, 24386, 24554, 25000-25009, 25793, 26000, 26208, 27374, 27444, 27999,
31335, 31337-31338, 31789, 31791, 32768-32770, 32780, 33270, 33434, 34555, 36865, 40841, 44818,
45678, 45966, 47557, 47624, 47806, 47808, 48000-48003, 54321
"""

UNASSIGNED = "Unassigned"
UNASSIGNED_TCP = [4, 6, 8, 10, 12, 14, 16, 26, 28, 30, 32, 34, 36, 40, 60]
UNASSIGNED_UDP = UNASSIGNED_TCP + [15]

# The texts users know these ports by; they win over every source.
FIXED_BOTH = {
    0: "Reserved",
    1: "Port Service Multiplexer",
    21: "File Transfer [Control]",
    22: "SSH Remote Login Protocol",
    25: "Simple Mail Transfer",
    53: "Domain Name Server",
    80: "World Wide Web HTTP",
    110: "Post Office Protocol - Version 3",
    139: "NETBIOS Session Service",
    443: "HTTP protocol over TLS/SSL",
    1080: "Socks",
    8080: "HTTP",
}
FIXED_TCP = {
    13: "Daytime (RFC 867)",
    15: "Unassigned [was netstat]",
    # Listed, but its text is empty: it shows "Unknown" like a port without an entry.
    41: "",
    513: "Remote Login",
    514: "Remote Shell",
    3389: "MS Terminal Server",
    12345: "Netbus (Windows Trojan)",
    31337: "BO2K",
    54320: "Orifice 2000 (TCP)",
    65000: "distributed attack tool / Devil (Windows Trojan)",
    65301: "pcAnywhere-def",
}
FIXED_UDP = {
    13: "Daytime",
    513: "maintains data bases showing who's",
    514: "BSD syslogd",
    3389: "MS WBT Server",
    31337: "Back Orifice(Windows Trojan)",
    54321: "Orifice 2000 (UDP)",
}

NO_REGISTRATION = "No registered service"
WITHDRAWN = "Formerly registered, registration withdrawn"

# Our own texts for both protocols: ports whose historic comment is a bare alias, a
# personal remark or cut short, and ports neither source describes (mostly known backdoor
# and attack-tool ports, or registrations since withdrawn).
OWN_BOTH = {
    518: "ntalk (talk daemon)",
    543: "klogin (Kerberos login)",
    585: "IMAP4+SSL (use of 585 is not recommended, use 993 instead)",
    659: WITHDRAWN,
    762: "quotad (disk quota server)",
    765: "webster (dictionary server)",
    786: "Concert",
    787: "QSC",
    1491: "anynetgateway (AnyNet gateway)",
    1895: "Used unofficially by Microsoft",
    2026: "scrabble (game server)",
    2041: "InterBase database server",
    2682: WITHDRAWN,
    2693: WITHDRAWN,
    2794: WITHDRAWN,
    4501: WITHDRAWN,
    4983: WITHDRAWN,
    5311: WITHDRAWN,
    5559: NO_REGISTRATION,
    6067: WITHDRAWN,
    7141: NO_REGISTRATION,
    7390: WITHDRAWN,
    7640: NO_REGISTRATION,
    8431: NO_REGISTRATION,
    9537: NO_REGISTRATION,
    10011: NO_REGISTRATION,
    10012: NO_REGISTRATION,
    13326: NO_REGISTRATION,
    17007: "isode-dua (ISODE directory user agent)",
    18753: "Shaft (distributed attack tool)",
    20432: "Shaft (distributed attack tool)",
    26274: "Delta Source (Windows Trojan)",
    27374: "SubSeven (Windows Trojan)",
    31785: "Hack'a'Tack (Windows Trojan)",
    31787: "Hack'a'Tack (Windows Trojan)",
    31789: "Hack'a'Tack (Windows Trojan)",
    31791: "Hack'a'Tack (Windows Trojan)",
    32000: NO_REGISTRATION,
    32780: "Dynamic RPC port (often used by Solaris)",
    40421: "Masters Paradise (Windows Trojan)",
    40422: "Masters Paradise (Windows Trojan)",
    40423: "Masters Paradise (Windows Trojan)",
    40426: "Masters Paradise (Windows Trojan)",
    43118: NO_REGISTRATION,
    47262: "Delta Source (Windows Trojan)",
}
OWN_TCP = {
    100: "newacct [unauthorized use]",
    258: "Yak Winsock personal chat",
    799: "ControlIt remote control",
    1008: "ufsd (no registered description)",
    1011: "Doly Trojan (Windows Trojan)",
    1023: "Reserved",  # the registry's status, not the comment's local use
    1024: "Reserved",
    2001: "dc (also nfr20 web queries)",
    2010: "search (also nfr411)",
    6711: "SubSeven (Windows Trojan)",
    6723: "Mstream (distributed attack tool)",
    6776: "SubSeven (Windows Trojan)",
    10520: "Acid Shivers (Windows Trojan)",
    12361: "Whack-a-mole (Windows Trojan)",
    12362: "Whack-a-mole (Windows Trojan)",
    12754: "Mstream (distributed attack tool)",
    15104: "Mstream (distributed attack tool)",
    16660: "Stacheldraht (distributed attack tool)",
    22321: "Wnn6 (Taiwanese input)",
    30101: "NetSphere (Windows Trojan)",
    30102: "NetSphere (Windows Trojan)",
    34324: "Big Gluck, TN (Windows Trojan)",
}
OWN_UDP = {
    783: "hp performance data alarm manager",
    1012: "rstatd on some BSD systems (dynamic RPC port)",
    2010: "pipe-server (also used by NFR)",
    4144: "pc windows compuserve.com protocol",
    5000: "commplex-main (also Universal PnP)",
    6700: "Carracho file sharing",
    6838: "Mstream (distributed attack tool)",
    7597: "QAZ worm backdoor (Windows)",
    7983: "Mstream (distributed attack tool)",
    9325: "Mstream (distributed attack tool)",
    10067: "Portal of Doom (Windows Trojan)",
    10167: "Portal of Doom (Windows Trojan)",
    10498: "Mstream (distributed attack tool)",
    31338: "Deep Back Orifice (Windows Trojan)",
    33270: "Trinity (distributed attack tool)",
    34555: "Trinoo for Windows (distributed attack tool)",
}

# Registry texts that say what became of a port rather than what runs on it: a historic
# comment describes such a port better.
STATUS_TEXTS = {"reserved", "reserved - iana", "removed", "de-registered", "deprecated"}
REPLACEMENT_NOTE = re.compile(
    r"\s*IANA assigned this well-formed service name as a replacement for \"[^\"]*\"\.?")
PAGE_BITS = 4  # ports per page of the index: 16, as in names/port_name_data.h
MAX_TEXT = 100  # bytes of one description
CHUNK_LIMIT = 60000  # bytes of one string literal, under the 65,536 compilers must accept


def parse_ports(listing):
    """"a-b, c, ..." -> the ascending list of ports."""
    ports = []
    for item in listing.replace("\n", " ").split(","):
        item = item.strip()
        low, _, high = item.partition("-")
        ports.extend(range(int(low), int(high or low) + 1))
    if ports != sorted(set(ports)):
        raise SystemExit("port listing is not ascending without repeats")
    return ports


def tidy(text):
    """One line without the registry's renaming note, at most MAX_TEXT bytes."""
    text = REPLACEMENT_NOTE.sub("", text)
    text = " ".join(text.split())
    if len(text.encode("utf-8")) > MAX_TEXT:
        # Whole words only, and a mark that the text goes on.
        cut = text
        while len(cut.encode("utf-8")) > MAX_TEXT - 3:
            cut = cut[: cut.rfind(" ")] if " " in cut else cut[:-1]
        text = cut.rstrip(" ,;:-") + "..."
    return text


def read_registry(path):
    """(port, protocol) -> list of (service name, description), in file order."""
    registry = {}
    with open(path, encoding="utf-8", newline="") as f:
        for row in csv.DictReader(f):
            number = row["Port Number"].strip()
            if not number:
                continue
            low, _, high = number.partition("-")
            protocol = row["Transport Protocol"].strip().lower()
            protocols = ["tcp", "udp"] if protocol == "" else [protocol]
            for port in range(int(low), int(high or low) + 1):
                for p in protocols:
                    registry.setdefault((port, p), []).append(
                        (row["Service Name"].strip(), tidy(row["Description"])))
    return registry


def read_comments(path):
    """(port, protocol) -> the first comment segment that reads as a description."""
    comments = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 4 or "/" not in fields[1]:
                continue
            port, _, protocol = fields[1].partition("/")
            # Segments are "|"-joined; a segment without a space is only an alias name.
            for segment in fields[3].lstrip("#").split("|"):
                segment = tidy(segment)
                if " " in segment:
                    comments.setdefault((int(port), protocol), segment)
                    break
    return comments


def describe(port, protocol, registry, comments, own, fixed):
    """The text of one listed port and the source it came from."""
    if port in fixed:
        return fixed[port], "fixed"
    rows = registry.get((port, protocol), [])
    for _, text in rows:
        if text and text.lower() != "unassigned" and text.lower() not in STATUS_TEXTS:
            if port in own:
                raise SystemExit(f"{protocol} {port}: own text shadows the registry's")
            return text, "registry"
    if port in own:
        return own[port], "own"
    if (port, protocol) in comments:
        return comments[(port, protocol)], "comment"
    for _, text in rows:
        if text.lower() in STATUS_TEXTS:
            return text, "status"
    for name, _ in rows:
        if name:
            return name, "name"
    return None, "none"


def build_table(protocol, ports, unassigned, fixed_own, own_own, registry, comments, stats):
    """port -> text for every listed port of one protocol; stats counts the sources."""
    listed = set(ports)
    fixed = dict(FIXED_BOTH)
    fixed.update(fixed_own)
    for port in unassigned:
        if port in fixed:
            raise SystemExit(f"{protocol} {port}: both fixed and Unassigned")
        fixed[port] = UNASSIGNED
    own = {p: t for p, t in OWN_BOTH.items() if p in listed}
    own.update(own_own)
    for port in list(fixed) + list(own_own):
        if port not in listed:
            raise SystemExit(f"{protocol} {port}: has a text but is not listed")
    table, missing = {}, []
    for port in ports:
        text, source = describe(port, protocol, registry, comments, own, fixed)
        if text is None:
            missing.append(port)
            continue
        if text == UNASSIGNED and port not in unassigned:
            raise SystemExit(f"{protocol} {port}: Unassigned outside the listed ports")
        table[port] = text
        stats[source] = stats.get(source, 0) + 1
    if missing:
        raise SystemExit(f"{protocol}: no description from any source for {missing}")
    return table


def c_literal(text):
    out = []
    for byte in text.encode("utf-8"):
        ch = chr(byte)
        if ch in '"\\?':
            out.append("\\" + ch)
        elif 32 <= byte < 127:
            out.append(ch)
        else:
            out.append(f"\\{byte:03o}")  # three octal digits never run into the next char
    return '"' + "".join(out) + '\\0"'


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def generate(data_dir):
    registry_path = os.path.join(data_dir, "iana-service-names-port-numbers.csv")
    comments_path = os.path.join(data_dir, "nmap-services")
    registry = read_registry(registry_path)
    comments = read_comments(comments_path)

    tcp_ports = parse_ports(TCP_PORTS)
    udp_ports = parse_ports(UDP_PORTS)
    if tcp_ports[-1] >= TCP_ENTRIES or udp_ports[-1] >= UDP_ENTRIES:
        raise SystemExit("a listed port lies beyond its table")

    tcp_stats, udp_stats = {}, {}
    tcp = build_table("tcp", tcp_ports, UNASSIGNED_TCP, FIXED_TCP, OWN_TCP, registry,
                      comments, tcp_stats)
    udp = build_table("udp", udp_ports, UNASSIGNED_UDP, FIXED_UDP, OWN_UDP, registry,
                      comments, udp_stats)
    unused = set(OWN_BOTH) - set(tcp) - set(udp)
    if unused:
        raise SystemExit(f"own texts for ports no table lists: {sorted(unused)}")

    # One copy of each text, numbered from 1 in order of first use (TCP, then UDP);
    # 0 means "no entry".
    texts, index = [], {}
    for table in (tcp, udp):
        for port in sorted(table):
            if table[port] not in index:
                index[table[port]] = len(texts) + 1
                texts.append(table[port])
    if len(texts) >= 0xFFFF:
        raise SystemExit("too many texts for 16-bit indexes")

    # Texts go into string literals of at most CHUNK_LIMIT bytes each.
    chunks, refs, size = [[]], [], 0
    for text in texts:
        length = len(text.encode("utf-8"))
        if length > 255:
            raise SystemExit(f"text too long: {text!r}")
        if size + length + 1 > CHUNK_LIMIT:
            chunks.append([])
            size = 0
        refs.append((size, len(chunks) - 1, length))
        chunks[-1].append(text)
        size += length + 1

    def used_pages(table):
        return len({port >> PAGE_BITS for port in table})

    def pairs(table):
        return [(port, index[table[port]]) for port in sorted(table)]

    out = []
    w = out.append
    w("// clang-format off")
    w("// Generated by tools/gen_port_names.py: do not edit. To regenerate, run from the")
    w("// repository root")
    w("//     python3 tools/gen_port_names.py --data <folder with the two files below>")
    w("// and commit the result; --check tells whether this file is up to date.")
    w("// Inputs:")
    w(f"//     iana-service-names-port-numbers.csv  sha256 {sha256(registry_path)}")
    w(f"//     nmap-services                        sha256 {sha256(comments_path)}")
    w(f"// TCP: {TCP_ENTRIES} entries, {len(tcp)} stored; UDP: {UDP_ENTRIES} entries, "
      f"{len(udp)} stored; {len(texts)} distinct texts.")
    w("// Sources of the stored texts: TCP " + ", ".join(
        f"{k} {v}" for k, v in sorted(tcp_stats.items())) + "; UDP " + ", ".join(
        f"{k} {v}" for k, v in sorted(udp_stats.items())) + ".")
    w('#include "names/port_name_data.h"')
    w("")
    w("namespace vorlanx::port_name_data {")
    w("namespace {")
    w("")
    for name, table in (("kTcpStored", tcp), ("kUdpStored", udp)):
        w(f"constexpr PortText {name}[] = {{")
        line = ""
        for port, text in pairs(table):
            item = f"{{{port},{text}}},"
            if len(line) + len(item) > 99:
                w(line.rstrip())
                line = ""
            line += item
        w(line.rstrip())
        w("};")
        w("")
    w(f"constexpr auto kTcp = makePortIndex<kTcpEntries, {used_pages(tcp)}>(kTcpStored);")
    w(f"constexpr auto kUdp = makePortIndex<kUdpEntries, {used_pages(udp)}>(kUdpStored);")
    w("")
    for i, chunk in enumerate(chunks):
        w(f"constexpr char kChunk{i}[] =")
        for text in chunk:
            w(f"    {c_literal(text)}")
        w("    ;")
        w("")
    w("}  // namespace")
    w("")
    w("uint16_t tcpTextIndex(uint32_t port) { return kTcp[port]; }")
    w("uint16_t udpTextIndex(uint32_t port) { return kUdp[port]; }")
    w("")
    w("const char* const kTextChunks[] = {" +
      ", ".join(f"kChunk{i}" for i in range(len(chunks))) + "};")
    w("")
    w(f"const size_t kTextCount = {len(texts)};")
    w("")
    w("const TextRef kTextRefs[] = {")
    w("    {0, 0, 0},  // no entry")
    line = "   "
    for offset, chunk, length in refs:
        item = f" {{{offset}, {chunk}, {length}}},"
        if len(line) + len(item) > 99:
            w(line)
            line = "   "
        line += item
    w(line)
    w("};")
    w("")
    w("}  // namespace vorlanx::port_name_data")
    return "\n".join(out) + "\n"


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=os.path.join(os.path.dirname(root), "shared", "data"))
    parser.add_argument("--output", default=os.path.join(root, "names", "port_name_data.cpp"))
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()

    for name in ("iana-service-names-port-numbers.csv", "nmap-services"):
        if not os.path.isfile(os.path.join(args.data, name)):
            print(f"{name} not found in {args.data}; give the folder with --data",
                  file=sys.stderr)
            return 2
    text = generate(args.data)
    if args.check:
        try:
            with open(args.output, encoding="utf-8", newline="") as f:
                current = f.read()
        except OSError:
            current = None
        if current != text:
            print(f"{args.output} is not what the inputs give; rerun without --check",
                  file=sys.stderr)
            return 1
        return 0
    with open(args.output, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
