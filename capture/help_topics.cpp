#include "capture/help_topics.h"

#include <array>

namespace vorlanx {

namespace {

// Each answer is written as its pieces, one literal a line; every piece carries its own
// leading line breaks.
// clang-format off
constexpr std::array<HelpTopic, kHelpTopicCount> kTopics{{
    {"Intro to Packet Mode", HelpTopicGroup::PacketMode,
     "\r\n--->Introduction to Packet Mode\r\n\r\n    Packet Mode is used for the reception of all TCP/IP packets from a network interface (NIC/Modem)."
     "\r\n\r\n    Here are some easy steps to get started:"
     "\r\n\r\n1. Choose \"Network Interface\" from the \"Settings\" menu, then choose the appropriate network interface in which to listen."
     "\r\n\r\n2. Press the \"Start\" button located on the main dialog."
     "\r\n\r\n3. Wait for one or more packets to arrive, during this time you may minimize the window as you will be notified in the event of a packets arrival by way of PC-Speaker sound (If on and available), and by way of the program's text in the taskbar blinking."
     "\r\n\r\n4. When one or more packets have arrived, they will appear in the list located on the main dialog. You may then click one of these items to view it's contents."},
    {"Known bugs and issues", HelpTopicGroup::PacketMode,
     "\r\n--->Known bugs and issues:"
     "\r\n\r\n  Below are the most common issues and bugs:"
     "\r\n\r\n1. The program only captures one side of the communication (ie. one direction). With many (if not all) dial-up modems, the program will only capture the packets going one direction. This issue also occurs with certain other hardware/driver configurations. At this time there is no known way to solve this problem ;-(."
     "\r\n\r\n2. When you choose \"Start\" the program states \"Unable to listen on the interface\". This is probably eather because you are using an older version of Windows than this program was designed for, or because there is a conflict between your hardware/drivers and the program."},
    {"What will this program capture?", HelpTopicGroup::PacketMode,
     "\r\n--->What will this program capture?"
     "\r\n\r\n    This program will only capture packets on the IP level protocol and above."
     "\r\n\r\n    Under normal circumstances (an ethernet adapter with standard LAN style setup), this program will usually capture all packets that have a destination IP address of the local machine, and all packets that have a source IP address of the local machine."
     "\r\n\r\n    Under certain circumstances such as running the program on the server of internet connection sharing or with VPN, the program may capture packets that have neather a source nor destination IP address of the local machine."
     "\r\n\r\n    Notice: This program does not put the network card/device into promiscuous mode. What this means is that on a normal LAN setup the program will ONLY capture packets destined for or sent from the machine in which it is running."
     "\r\n\r\n    For more information, see the article titled \"Known bugs and issues\"."},
    {"Notes on performance", HelpTopicGroup::PacketMode,
     "\r\n--->Notes on performance:"
     "\r\n\r\n  Below are some things to keep in mind while using Brindlecraft VORLANX 1.5.x:"
     "\r\n\r\n1. (Packet Mode) Try to have the filters set so that the program only captures the packets you are interested in. If you only intend to view HTTP (web) traffic, you probably only need to capture packets to and from port 80. To change filter settings, choose the button titled \"Setup packet filters\" located near the bottom of the Packet Mode window."
     "\r\n\r\n2. (Packet Mode) If you are not interested in viewing the very latest packets received, scroll the packet list up so that it is not near the bottom, this will tell the program to not follow the new packets. To have the program resume following the latest packets, simply scroll the list to the bottom by pressing the \"End\" key. Note, when the program is minimized it will automatically stop following the latest packets."
     "\r\n\r\n3. (File Mode) Unless you have reason to believe otherwise, you probably only need to have the program capture and analyze packets from port 80. To set the filters this way, set the \"Source Port must be\" field (located on the File Mode window) to 80."},
    {"What is a packet?", HelpTopicGroup::PacketMode,
     "\r\n--->What is a packet?"
     "\r\n\r\n    The way data is transmitted on a network is in the form of what are called packets, a packet is data. The first part of a packet is what is known as the packet header, this contains information such as where the packet is intended to go, where it came from, and much more. The second part of a packet is what is known as the packet data, this contains the extra information that is to be sent and is usually essential to the workings of what the packet is used for. A common packet is the ping packet (ICMP), this packet is sent from one computer to one or more other computers on a network, the computers that are at the address(es) specified should return a ping packet to inform the sender of thier connectivity to the network."
     "\r\n\r\n    There are many different kinds of packets, all of which have there own properties and uses, some common types of packets are: TCP, UDP, ICMP, and ARP."
     "\r\n\r\n    Of these types, TCP is the most used on the internet. TCP is used for things like HTTP (The protocol used for viewing web pages), FTP (A common protocol used to transfer files). and POP (The protocol used to check standard e-mail)."},
    {"How do I print the list of data?", HelpTopicGroup::PacketMode,
     "\r\n--->How do I print the list of data?"
     "\r\n\r\n1. Save the list to a file by choosing File->Save."
     "\r\n\r\n2. Open the file in a text editor (Notepad, Word, etc.)."
     "\r\n\r\n3. Choose File->Print."},
    {"Intro to File Mode", HelpTopicGroup::FileMode,
     "\r\n--->Introduction to File Mode\r\n\r\n    File Mode is used for the capturing and storage of HTTP based files from a network interface (NIC/Modem)."
     "\r\n\r\n    Here are some easy steps to get started:"
     "\r\n\r\n1. Choose \"Network Interface\" from the \"Settings\" menu, then choose the appropriate network interface in which to listen."
     "\r\n\r\n2. Where it says \"Directory to store constructed files\" enter the directory you would like the constructed files to be placed in."
     "\r\n\r\n3. Press the \"Start\" button located on the main dialog."
     "\r\n\r\n4. When HTTP traffic is detected, the \"Files processing\" under \"Current status\" will show the number of file streams currently being followed."
     "\r\n\r\n5. The \"Files written\" under \"Current status\" shows the number of files that have been written since the \"Start\" button has been pressed. Once one or more files have been written, you may go to the directory chosen with \"Windows Explorer\" or \"My Computer\" to view the files that have been written, also you may open these files directly with your browser."},
    {"What is HTTP?", HelpTopicGroup::FileMode,
     "\r\n--->What is HTTP?"
     "\r\n\r\n    HTTP (HyperText Transfer Protocol) is the protocol over which the images and documents on web-pages are transferred."},
    {"What is the \"ACK time-out\" for?", HelpTopicGroup::FileMode,
     "\r\n--->What is the \"ACK time-out\" for?"
     "\r\n\r\n    The \"ACK time-out\" determines how long to wait after receiving a packet from a file stream to determine that stream to be a complete file."
     "\r\n\r\n    Entering a number too small will cause incomplete files to be written to the disk."
     "\r\n\r\n    Under a busy network condition entering a number too large may cause the program's max allowable streams (100,000) to be reached resulting in missing some files that are being transferred. Entering a number too large also further delays the writing of files to the disk."},
}};
// clang-format on

}  // namespace

std::span<const HelpTopic, kHelpTopicCount> HelpTopics() {
    return kTopics;
}

}  // namespace vorlanx
