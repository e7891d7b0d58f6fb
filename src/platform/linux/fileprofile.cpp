#include "platform/linux/fileprofile.h"

// Placeholder: the real reader and writer comes with the entry store.
namespace platform {
struct FileProfile::Private
{
};
FileProfile::FileProfile() : d(new Private) {}
FileProfile::~FileProfile()
{
    delete d;
}
QString FileProfile::read(const QString &, const QString &, const QString &, const QString &def)
{
    return def;
}
WriteResult FileProfile::write(const QString &, const QString &, const QString &, const QString &)
{
    return WriteResult::failure(QStringLiteral("not built yet"));
}
void FileProfile::beginGroup() {}
WriteResult FileProfile::commitGroup()
{
    return {};
}
void FileProfile::abortGroup() {}
bool FileProfile::inGroup() const
{
    return false;
}
} // namespace platform
