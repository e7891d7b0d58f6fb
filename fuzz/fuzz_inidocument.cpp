// libFuzzer entry: every input goes through the same checks the unit test replays.

#include "inidocumentcheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString broken = inicheck::checkIniDocument(
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!broken.isEmpty()) {
        std::fprintf(stderr, "IniDocument property broken: %s\n", qPrintable(broken));
        std::abort();
    }
    return 0;
}
