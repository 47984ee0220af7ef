// devquery: the installation's device-query tool. Lists the machine's whole
// disks and writes them into the device key of the user's settings store,
// where the program reads them back after waiting for this tool.
//
// The program starts it with its own path and one empty argument; other
// arguments are ignored. Exit status: 0 when the report was written, 1 when
// some value could not be stored.
#include "core/source/device_registry.h"
#include "platform/settings_store.h"
#include "tools/devquery/device_report.h"

int main() {
    zt::StoreDeviceRegistry registry(zt::platform::SystemSettingsStore());
    return zt::devquery::RunDevquery(registry, {});
}
