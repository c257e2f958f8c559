// The Packet Mode window's control and menu ids.
#pragma once

#include "platform/qt/main_menu.h"

namespace vorlanx::packet_ids {

inline constexpr int kList = 1000;
inline constexpr int kStart = 1001;
inline constexpr int kStop = 1002;
inline constexpr int kClear = 1003;
inline constexpr int kStatus = 1004;
inline constexpr int kPacketType = 1005;
inline constexpr int kFromIp = 1006;
inline constexpr int kToIp = 1007;
inline constexpr int kPacketSize = 1008;
inline constexpr int kFromPort = 1009;
inline constexpr int kToPort = 1010;
inline constexpr int kFromPortUse = 1011;
inline constexpr int kToPortUse = 1012;
inline constexpr int kProtocolNumber = 1013;
inline constexpr int kSound = 1014;
inline constexpr int kTtl = 1015;
inline constexpr int kWindow = 1016;
inline constexpr int kSequence = 1017;
inline constexpr int kMemory = 1018;
inline constexpr int kProgress = 1019;
inline constexpr int kEntirePacket = 1020;
inline constexpr int kPacketData = 1021;
inline constexpr int kAcknowledgement = 1022;
inline constexpr int kIpChecksum = 1023;
inline constexpr int kText = 1025;
inline constexpr int kDec = 1026;
inline constexpr int kHex = 1027;
inline constexpr int kFlagUrg = 1041;  // .. 1046: URG ACK PSH RST SYN FIN
inline constexpr int kMatchCase = 1047;
inline constexpr int kFindText = 1048;
inline constexpr int kFind = 1049;
inline constexpr int kLogo = 1061;
inline constexpr int kFilterSetup = 1079;
inline constexpr int kApplyFilters = 1080;
inline constexpr int kEntirePacketGroup = 1096;
inline constexpr int kPacketDataGroup = 1097;
inline constexpr int kListProgress = 1129;
inline constexpr int kCancel = 1132;

// Menu commands.
inline constexpr int kMenuOpenCaptureFile = main_menu_ids::kOpenCaptureFile;
inline constexpr int kMenuSave = main_menu_ids::kSave;
inline constexpr int kMenuExit = main_menu_ids::kExit;
inline constexpr int kMenuNetworkInterface = main_menu_ids::kNetworkInterface;
inline constexpr int kMenuGeneral = main_menu_ids::kGeneral;
inline constexpr int kMenuChangeMode = main_menu_ids::kChangeMode;
inline constexpr int kMenuHelp = main_menu_ids::kHelp;
inline constexpr int kMenuAbout = main_menu_ids::kAbout;

// The packet list's context menu (popup 158) and its commands.
inline constexpr int kContextMenu = 158;
inline constexpr int kMenuReverseSource = 32782;
inline constexpr int kMenuReverseDestination = 32783;
inline constexpr int kMenuDeletePacket = 32784;
inline constexpr int kMenuNextSameAck = 32785;
inline constexpr int kMenuPreviousSameAck = 32786;
inline constexpr int kMenuFirstSameAck = 32787;
inline constexpr int kMenuLastSameAck = 32788;
inline constexpr int kMenuDeleteSameAck = 32791;
inline constexpr int kMenuDeleteDifferentAck = 32792;

}  // namespace vorlanx::packet_ids
