#include "serial/PortList.h"

namespace norvane {

PortList StandardPorts() {
    return NumberedComPorts(8);
}

}  // namespace norvane
