#include "statements/ServerMethods.h"

namespace appserver {

const char *methodName(Method method) {
    switch (method) {
    case Method::OpenSQL: return "OpenSQL";
    case Method::ExecSQL: return "ExecSQL";
    case Method::DelSQL: return "DelSQL";
    }
    return "?";
}

} // namespace appserver
