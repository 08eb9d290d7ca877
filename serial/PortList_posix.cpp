#include "serial/PortList.h"

namespace norvane {

// Each COMn finds its own port when it is opened (ResolvePortPath): the machine's ports in
// their order, or what NORVANE_COMn names.
PortList StandardPorts() {
    return NumberedComPorts(8);
}

}  // namespace norvane
