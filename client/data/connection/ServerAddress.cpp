#include "data/connection/ServerAddress.h"

std::string serverUrl(const QString &host, int port, bool tls) {
    const std::string name =
        host.contains(QLatin1Char(':')) ? "[" + host.toStdString() + "]" : host.toStdString();
    return (tls ? "https://" : "http://") + name + ":" + std::to_string(port);
}

std::string contextRoot(const QString &context) {
    std::string root = context.toStdString();
    while (!root.empty() && root.front() == '/')
        root.erase(root.begin());
    if (root.empty() || root.back() != '/')
        root += '/';
    return "/" + root;
}
