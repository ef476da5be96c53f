#include "editions/smartphone_keys.h"

namespace smartphone {

TranslatedCommand translateCommand(int screen, int command) {
    if (command == kLeftSoftKey) {
        switch (screen) {
            case kScreenMain: return {CommandRoute::command, 8102};
            case kScreenScan: return {CommandRoute::command, 8207};
            case kScreenSettings: return {CommandRoute::command, 8402};
            case kScreenReport: return {CommandRoute::command, 8318};
            case kScreenInfected: return {CommandRoute::command, 8206};
            default: return {CommandRoute::command, command};
        }
    }
    if (command == kRightSoftKey) {
        switch (screen) {
            case kScreenMain: return {CommandRoute::command, 8103};
            case kScreenSettings: return {CommandRoute::command, 8403};
            case kScreenReport: return {CommandRoute::ignore, command};
            case kScreenInfected: return {CommandRoute::command, kSkip};
            default: return {CommandRoute::command, command};  // the scan screen: no effect
        }
    }
    if (command == kBackKey) {
        switch (screen) {
            case kScreenReport: return {CommandRoute::command, 8318};
            case kScreenScan: return {CommandRoute::command, 8207};
            case kScreenSettings: return {CommandRoute::command, 8403};
            default: return {CommandRoute::defaultHandling, command};
        }
    }
    return {CommandRoute::command, command};
}

int nextFocus(int current, bool forward) {
    if (forward) {
        switch (current) {
            case kLanguageSpinner: return kReportLevelSpinner;
            case kReportLevelSpinner: return kStorageCardBox;
            case kStorageCardBox: return kAutoUpdateBox;
            default: return kLanguageSpinner;  // from the last one, or from anywhere else
        }
    }
    switch (current) {
        case kReportLevelSpinner: return kLanguageSpinner;
        case kStorageCardBox: return kReportLevelSpinner;
        case kAutoUpdateBox: return kStorageCardBox;
        case kLanguageSpinner: return kAutoUpdateBox;
        default: return kStorageCardBox;
    }
}

std::wstring_view pathFromInfectedLine(std::wstring_view line) {
    // Try each " (" in turn as the end of the name: the first whose following
    // text starts a path that ends in "\NAME) " is the file.
    for (size_t split = line.find(L" ("); split != std::wstring_view::npos; split = line.find(L" (", split + 1)) {
        std::wstring_view name = line.substr(0, split);
        std::wstring_view rest = line.substr(split + 2);
        if (name.empty() || rest.empty() || rest[0] != L'\\') continue;
        // The last "\NAME)" followed by a blank or the end: folders named like
        // "NAME) x" come before the file itself.
        for (size_t end = rest.size(); end > name.size();) {
            size_t close = rest.rfind(L')', end - 1);
            if (close == std::wstring_view::npos || close < name.size() + 1) break;
            end = close;
            bool closesPart = close + 1 == rest.size() || rest[close + 1] == L' ';
            if (!closesPart) continue;
            std::wstring_view path = rest.substr(0, close);
            if (path.substr(path.size() - name.size()) == name && path[path.size() - name.size() - 1] == L'\\') {
                return path;
            }
        }
    }
    return {};
}

int fontHeight(int points, int pixelsPerInch) { return -(points * pixelsPerInch / 72); }

}  // namespace smartphone
