#pragma once
// Control identifiers of the Configuration dialog, shared by the template and its code.

#define IDD_FRMCONFIG 100
#define IDC_LBL1 101
#define IDC_TXT1 102
#define IDC_LBL2 103
#define IDC_TXT2 104
#define IDC_LBL3 105
#define IDC_TXT3 106
#define IDC_LBL4 107
#define IDC_CBOCOUNTRY 108
#define IDC_CMDSAVE 109
#define IDC_CMDEXIT 110
