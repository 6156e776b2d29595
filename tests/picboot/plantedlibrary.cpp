// A library under the bootloader library's file name that is not ours, with
// one export only. The binding tests plant it to see where the library is
// looked for, and that an export it lacks is never called.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t OpenPIC(const char *, int32_t, int32_t)
{
    return -777;
}
