#include "app/cli/CommandLineCommon.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace velorix {

Services CommandLineServices(std::shared_ptr<Prompts> prompts) {
    Services services;
    services.prompts = std::move(prompts);
    services.settings = std::make_shared<NullSettingsStore>();
    services.shell = std::make_shared<NullShell>();
    services.printer = printing::makeNullPrinter();
    services.clock = [] { return QDateTime::currentDateTime(); };
    return services;
}

void PrintCommandError(const char* command, const QString& message) {
    std::fprintf(stderr, "velorix %s : %s\n", command, message.toLocal8Bit().constData());
}

int RunCommand(const char* command, const std::function<int()>& work) {
    try {
        return work();
    } catch (const std::exception& e) {
        PrintCommandError(command, QString::fromUtf8(e.what()));
        return 1;
    }
}

} // namespace velorix
