// Ids of the Windows program's resources and of its dialogs' controls.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_NORVANE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDR_PROGRAM 130
#define IDR_STRINGS 131

// Main window (dialog 102).
#define IDC_PROGRESS 1000
#define IDC_STATUS_GROUP 1001
#define IDC_DEVICE_GROUP 1002
#define IDC_STATUS_TEXT 1004
#define IDC_DEVICE_TEXT 1005
#define IDC_SERIAL_TEXT 1006
#define IDC_SERIAL_GROUP 1007
#define IDC_VERSION_GROUP 1008
#define IDC_VERSION_TEXT 1009

// About box (dialog 100).
#define IDC_ABOUT_VERSION 1001
#define IDC_ABOUT_BUILD 1002
#define IDC_ABOUT_COPYRIGHT 1003

// The system-menu item that opens the about box.
#define IDM_ABOUTBOX 0x0010
