#include "platform/SystemErrors.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#endif

namespace anunciel {

namespace {

QString causeText(int code)
{
    switch (code) {
#ifdef Q_OS_WIN
    case ERROR_FILE_NOT_FOUND:
        return QStringLiteral("arquivo não encontrado");
    case ERROR_PATH_NOT_FOUND:
        return QStringLiteral("pasta não encontrada");
    case ERROR_ACCESS_DENIED:
        return QStringLiteral("permissão negada");
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return QStringLiteral("arquivo em uso por outro programa");
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return QStringLiteral("disco cheio");
    case ERROR_WRITE_PROTECT:
        return QStringLiteral("disco protegido contra gravação");
    case ERROR_FILENAME_EXCED_RANGE:
        return QStringLiteral("nome longo demais");
    case ERROR_TOO_MANY_OPEN_FILES:
        return QStringLiteral("arquivos abertos demais");
    case ERROR_DIRECTORY:
        return QStringLiteral("é uma pasta");
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
        return QStringLiteral("disco ou compartilhamento não disponível");
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
        return QStringLiteral("erro de entrada e saída no disco");
#else
    case EISDIR:
        return QStringLiteral("é uma pasta");
    case EACCES:
    case EPERM:
        return QStringLiteral("permissão negada");
    case ENOSPC:
        return QStringLiteral("disco cheio");
    case EDQUOT:
        return QStringLiteral("cota de disco esgotada");
    case EFBIG:
        return QStringLiteral("arquivo maior que o permitido");
    case ENOENT:
        return QStringLiteral("arquivo não encontrado");
    case ENOTDIR:
        return QStringLiteral("parte do caminho não é uma pasta");
    case EROFS:
        return QStringLiteral("disco somente para leitura");
    case ELOOP:
        return QStringLiteral("ciclo de links simbólicos");
    case ENAMETOOLONG:
        return QStringLiteral("nome longo demais");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("arquivos abertos demais");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("arquivo em uso");
    case EIO:
        return QStringLiteral("erro de entrada e saída no disco");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("dispositivo não disponível");
#endif
    default:
        return {};
    }
}

QString kindText(QFileDevice::FileError error)
{
    switch (error) {
    case QFileDevice::ReadError:
        return QStringLiteral("erro de leitura");
    case QFileDevice::WriteError:
        return QStringLiteral("erro de gravação");
    case QFileDevice::OpenError:
        return QStringLiteral("o arquivo não pôde ser aberto");
    case QFileDevice::PermissionsError:
        return QStringLiteral("permissão negada");
    case QFileDevice::ResizeError:
        return QStringLiteral("o tamanho do arquivo não pôde ser mudado");
    case QFileDevice::RenameError:
    case QFileDevice::CopyError:
    case QFileDevice::RemoveError:
        return QStringLiteral("o arquivo não pôde ser substituído");
    default:
        return QStringLiteral("erro do sistema");
    }
}

} // namespace

int lastSystemError()
{
#ifdef Q_OS_WIN
    return int(GetLastError());
#else
    return errno;
#endif
}

void clearSystemError()
{
#ifdef Q_OS_WIN
    SetLastError(0);
#else
    errno = 0;
#endif
}

QString fileErrorText(QFileDevice::FileError error, int systemCode)
{
    const QString cause = causeText(systemCode);
    if (!cause.isEmpty())
        return cause;
    const QString kind = kindText(error);
    return systemCode == 0 ? kind : QStringLiteral("%1 (código %2)").arg(kind).arg(systemCode);
}

} // namespace anunciel
