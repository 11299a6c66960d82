// Resource and control identifiers, shared by the resource scripts and code.
#pragma once

// Dialog templates and icon groups
#define IDD_MAIN 101
#define IDD_ABOUT 102
#define IDI_MAIN 103
#define IDD_DEEP_SCAN 114
#define IDI_DEEP_SCAN 115
#define IDR_GUARD_PROGRAM 201  // RCDATA: the Velmora.exe built with this Kestane

// Main window (template 101)
#define IDC_REMOVE_GRIDS 1001
#define IDC_RESIDENT_LABEL 1003
#define IDC_SUMMARY_LABEL 1004
#define IDC_ABOUT 1005
#define IDC_HEADING 1006
#define IDC_DEEP_SCAN 1007
#define IDC_INSTALLED_LABEL 1008
#define IDC_PROGRAM_SWEEP 1011
#define IDC_SHORTCUT_SWEEP 1013
#define IDC_WEBHARD_SWEEP 1014
#define IDC_GUARD_BUTTON 1034
#define IDC_UPDATE_CHECK 1035
#define IDC_GUARD_STATUS 1036

// About box (template 102)
#define IDC_ABOUT_PRODUCT 1015
#define IDC_ABOUT_LINK 1017
#define IDC_ABOUT_NOTICE 1014

// Deep-scan dialog (template 114)
#define IDC_DS_SERVICES_LABEL 1006
#define IDC_DS_PROCESSES_LABEL 1007
#define IDC_DS_SERVICES 1047
#define IDC_DS_PROCESSES 1048
#define IDC_DS_REMOVE_ALL 1049
