#include "storage/file_status.h"

namespace glyphora {

std::string status_message(int code, std::string_view default_text) {
    switch (code) {
        case to_int(FileStatus::kCannotOpenForWriting):
            return "ファイルが書き込みオープン不能";
        case to_int(FileStatus::kCannotOpenForReading):
            return "ファイルが開けない";
        case to_int(FileStatus::kWrongMagic):
            return "ファイルが破損あるいは違う";
        case to_int(FileStatus::kUnknownExtension):
            return "拡張子からファイルタイプが決まらず";
        case to_int(FileStatus::kCutOff):
            return "ファイルが途中で不正に切れてしまっている";
        default:
            return std::string(default_text);
    }
}

std::string status_message(FileStatus status, std::string_view default_text) {
    return status_message(to_int(status), default_text);
}

}  // namespace glyphora
