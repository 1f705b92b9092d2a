// The owner's loop of the Windows serial suite, whose pseudo-terminal helpers stay on POSIX.
#include "serial_test_support.h"

namespace darvelon::serial::testing {

PlainOwnerLoop& ownerLoop() {
    static PlainOwnerLoop loop;
    return loop;
}

}  // namespace darvelon::serial::testing
