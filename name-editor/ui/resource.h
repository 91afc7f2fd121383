// Resource and control numbers of the name editor.
#pragma once

constexpr unsigned IDD_NAMEEDITOR_DIALOG = 102;
constexpr unsigned IDR_MAINFRAME = 128;

constexpr int IDC_ENCODE = 1000;
constexpr int IDC_FONTNAME = 1001;
constexpr int IDC_FAMILYNAME = 1002;
constexpr int IDC_SUBFAMILYNAME = 1003;
constexpr int IDC_UNIQUEIDENTIFIER = 1004;
constexpr int IDC_POSTSCRIPTNAME = 1005;
constexpr int IDC_VERSION = 1006;
constexpr int IDC_TRADEMARK = 1007;
constexpr int IDC_COPYRIGHT = 1008;
constexpr int IDC_READONLY = 1009;
constexpr int IDC_NAMES = 1010;
constexpr int IDC_NAMEWARNINGS = 1011;
