#pragma once

// Numbers of the dialogs, controls, strings, icons and commands.

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;  // a control no code addresses

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDD_MAIN = 102;
inline constexpr int IDR_MAINFRAME = 128;

inline constexpr int IDC_SOURCE = 1000;
inline constexpr int IDC_OPEN = 1001;
inline constexpr int IDC_TARGET = 1002;
inline constexpr int IDC_SAVE = 1003;
inline constexpr int IDC_PROGRESS = 1004;
inline constexpr int IDC_STATUS = 1005;

// The about entry of the system menu. Its low four bits are clear, as system commands need.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;
