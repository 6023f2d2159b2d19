// Resource and control identifiers, shared by the .rc file and the code.
#pragma once

#define IDS_APP_TITLE 103
#define IDS_WINDOW_CLASS 109

#define IDI_APP_LARGE 107
#define IDI_APP_SMALL 108

#define IDD_SETTINGS 129

#define IDC_IP_ADDRESS 1003
#define IDC_PORT_LIST 1013
#define IDC_PORT_BUTTON 1014
#define IDC_RATE_LIST 1020
#define IDC_SUBNET_MASK 1036
#define IDC_GATEWAY 1037
#define IDC_APPLY 1047
#define IDC_VERSION 1058

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
