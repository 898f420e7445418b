#include "storage/file_status.h"

namespace glyphora {

std::string status_message(int code, std::string_view default_text) {
    switch (code) {
        case to_int(FileStatus::cannot_open_for_writing):
            return "ファイルが書き込みオープン不能";
        case to_int(FileStatus::cannot_open_for_reading):
            return "ファイルが開けない";
        case to_int(FileStatus::wrong_magic):
            return "ファイルが破損あるいは違う";
        case to_int(FileStatus::unknown_extension):
            return "拡張子からファイルタイプが決まらず";
        case to_int(FileStatus::cut_off):
            return "ファイルが途中で不正に切れてしまっている";
        default:
            return std::string(default_text);
    }
}

std::string status_message(FileStatus status, std::string_view default_text) {
    return status_message(to_int(status), default_text);
}

}  // namespace glyphora
