#pragma once

#define IDD_SAMPLE 100
#define IDC_NAME 101
#define IDC_APPLY 102
