#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace SystemError {

std::string describe(int error) {
    switch (error) {
        case ENOENT:
            return "no existe";
        case EACCES:
        case EPERM:
            return "no hay permiso";
        case ENOSPC:
            return "no queda espacio en el disco";
        case EDQUOT:
            return "se ha superado la cuota de disco";
        case EROFS:
            return "el disco es de solo lectura";
        case EFBIG:
            return "el archivo es demasiado grande";
        case EIO:
            return "error de entrada o salida del disco";
        case ENOTDIR:
            return "una parte de la ruta no es una carpeta";
        case EISDIR:
            return "es una carpeta";
        case ENAMETOOLONG:
            return "el nombre es demasiado largo";
        case ENOEXEC:
            return "no es un programa ejecutable";
        case ENOMEM:
            return "no hay memoria suficiente";
        case EMFILE:
        case ENFILE:
            return "hay demasiados archivos abiertos";
        default: {
            char buffer[256];
            // The GNU strerror_r returns the text, which may or may not be in the buffer.
            const char* text = strerror_r(error, buffer, sizeof buffer);
            return text ? std::string(text) : "error " + std::to_string(error);
        }
    }
}

}  // namespace SystemError
