#include "tests/support/PermissionOverride.h"

#include <QFile>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::array<__user_cap_data_struct, 2> capabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    std::array<__user_cap_data_struct, 2> data{};
    syscall(SYS_capget, &header, data.data());
    return data;
}

void setCapabilities(std::array<__user_cap_data_struct, 2> data)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    syscall(SYS_capset, &header, data.data());
}

} // namespace

WithoutPermissionOverride::WithoutPermissionOverride()
    : m_saved(capabilities())
{
    std::array<__user_cap_data_struct, 2> reduced = m_saved;
    reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH | 1u << CAP_FOWNER);
    setCapabilities(reduced);
}

WithoutPermissionOverride::~WithoutPermissionOverride()
{
    setCapabilities(m_saved);
}

bool setFolderWritable(const QString &folder, bool writable)
{
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
        | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    if (writable)
        permissions |= QFileDevice::WriteOwner;
    return QFile::setPermissions(folder, permissions);
}
