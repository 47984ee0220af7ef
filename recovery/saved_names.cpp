#include "recovery/saved_names.h"

#include <algorithm>

namespace zt {

namespace {

// An extension this short or shorter survives the cut of a long name.
constexpr std::size_t kKeptExtensionBytes = 16;

bool Refused(unsigned char c) {
    return c < 0x20 || c == 0x7F || std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string Folded(std::string_view path) {
    std::string folded(path);
    for (char& c : folded) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return folded;
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& p : parts) path += (path.empty() ? "" : "/") + p;
    return path;
}

}  // namespace

std::string CleanSavedName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (const char c : name) out += Refused(static_cast<unsigned char>(c)) ? '_' : c;
    if (std::all_of(out.begin(), out.end(), [](char c) { return c == '.'; })) return "_";
    if (out.size() > kSavedNameBytes) {
        const std::size_t dot = out.rfind('.');
        const std::string extension =
            dot != std::string::npos && dot > 0 && out.size() - dot <= kKeptExtensionBytes ? out.substr(dot) : "";
        std::size_t keep = kSavedNameBytes - extension.size();
        // Never half a UTF-8 sequence: back up to the start of the character.
        while (keep > 0 && (static_cast<unsigned char>(out[keep]) & 0xC0) == 0x80) --keep;
        out = out.substr(0, keep) + extension;
    }
    // FAT and NTFS drop a trailing dot or space, which would make two names one.
    if (out.back() == '.' || out.back() == ' ') out.back() = '_';
    // The saving run writes "X" as ".X.partial" first and removes what it finds there.
    if (out.front() == '.' && out.ends_with(".partial")) out.front() = '_';
    return out;
}

std::vector<std::string> SavedNamePlan::Place(std::string_view root, std::string_view path) {
    std::vector<std::string> parts;
    for (const std::string_view whole : {root, path}) {
        std::size_t at = 0;
        while (at <= whole.size()) {
            const std::size_t slash = std::min(whole.find('/', at), whole.size());
            if (slash > at) parts.emplace_back(whole.substr(at, slash - at));
            at = slash + 1;
        }
    }
    if (parts.size() < 2) return {};  // no file name below the root

    std::vector<std::string> saved;
    std::string cardFolder;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        cardFolder += '/' + parts[i];
        if (const auto it = folders_.find(cardFolder); it != folders_.end()) {
            saved = it->second;
            continue;
        }
        saved.push_back(FreeName(Joined(saved), CleanSavedName(parts[i])));
        taken_.insert(Folded(Joined(saved)));
        folders_.emplace(cardFolder, saved);
    }
    const std::string folder = Joined(saved);
    saved.push_back(FreeName(folder, CleanSavedName(parts.back())));
    const std::string whole = Joined(saved);
    if (whole.size() > maxPathBytes_) return {};
    taken_.insert(Folded(whole));
    return saved;
}

std::string SavedNamePlan::FreeName(const std::string& parent, const std::string& name) {
    const std::string prefix = parent.empty() ? "" : parent + "/";
    if (!taken_.contains(Folded(prefix + name))) return name;
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : "";
    for (std::size_t n = 2;; ++n) {
        std::string numbered = stem + " (" + std::to_string(n) + ")" + extension;
        if (!taken_.contains(Folded(prefix + numbered))) return numbered;
    }
}

}  // namespace zt
