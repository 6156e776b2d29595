#pragma once

// The ids under which the wizard registers its pages; the pages name one
// another's ids only through these. Id 2 is left free for the driver page,
// which is built but not shown.
struct WizardPageIds
{
    enum PageId {
        Page_Error = 0,
        Page_Intro = 1,
        Page_Driver = 2,
        Page_Preparations1 = 3,
        Page_Preparations2 = 4,
        Page_Preparations3 = 5,
        Page_Preparations4 = 6,
        Page_Scan = 7,
        Page_Setup = 8,
        Page_Install = 9,
        Page_Success = 10,
    };
};
