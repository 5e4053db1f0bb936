#include "Connection.h"

namespace velorix::scan::worker {

// The SANE name a listed name ends with, "(name)"; empty when it has none.
std::string SaneNameOf(const std::string& listed) {
    const std::size_t open = listed.rfind(" (");
    if (open == std::string::npos || listed.size() < open + 4 || listed.back() != ')')
        return {};
    return listed.substr(open + 2, listed.size() - open - 3);
}

Table TableFrom(const Fields& reply) {
    if (reply.empty() || (reply.size() - 1) % 5 != 0)
        throw EPlatformError("Réponse invalide du module des scanners");
    Table table;
    for (std::size_t i = 1; i + 4 < reply.size(); i += 5)
        table[{reply[i], reply[i + 1]}] = Known{reply[i + 2], reply[i + 3], reply[i + 4] == "1"};
    return table;
}

} // namespace velorix::scan::worker
