#pragma once

// Where the technician is sent for help. Change them here; the pages take
// them from these constants only.

// Support telephone, shown at the end of the terms on the intro page.
constexpr char SupportTelephone[] = "(11) 3456-7800";

// The bridge chip maker's driver download page, linked from the driver page.
constexpr char DriverDownloadUrl[] = "https://www.silabs.com/developers/usb-to-uart-bridge-vcp-drivers";
