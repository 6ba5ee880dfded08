#include "media/asx_redirector.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <iterator>
#include <utility>

namespace media {

namespace {

// Redirectors are a few hundred bytes; anything far larger is not one.
constexpr std::size_t kMaxRedirectorBytes = 64 * 1024;

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered;
}

std::string DecodeEntities(std::string_view text) {
    static const std::array<std::pair<std::string_view, char>, 5> kEntities{
        {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}}};
    std::string decoded;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, character] : kEntities) {
            if (text.substr(i, entity.size()) == entity) {
                decoded += character;
                i += entity.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            decoded += text[i++];
    }
    return decoded;
}

// The value of attribute name inside one tag's text, quoted with ' or ".
std::optional<std::string> AttributeValue(std::string_view tag, std::string_view name) {
    const std::string lowered = Lowered(tag);
    for (std::size_t at = lowered.find(name); at != std::string::npos;
         at = lowered.find(name, at + 1)) {
        const bool wordStart = at > 0 && std::isspace(static_cast<unsigned char>(lowered[at - 1]));
        std::size_t i = at + name.size();
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
            ++i;
        if (!wordStart || i >= tag.size() || tag[i] != '=')
            continue;
        ++i;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
            ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\''))
            return std::nullopt;
        const std::size_t end = tag.find(tag[i], i + 1);
        if (end == std::string_view::npos)
            return std::nullopt;
        return DecodeEntities(tag.substr(i + 1, end - i - 1));
    }
    return std::nullopt;
}

} // namespace

bool IsRedirectorPath(const std::filesystem::path& path) {
    return Lowered(path.extension().string()) == ".asx";
}

std::optional<std::string> FirstReference(std::string_view text) {
    const std::string lowered = Lowered(text);
    for (std::size_t at = lowered.find("<ref"); at != std::string::npos;
         at = lowered.find("<ref", at + 1)) {
        const std::size_t after = at + 4;
        if (after >= lowered.size() || !std::isspace(static_cast<unsigned char>(lowered[after])))
            continue; // <reference> or similar
        const std::size_t end = lowered.find('>', after);
        if (end == std::string::npos)
            return std::nullopt;
        if (auto href = AttributeValue(text.substr(at, end - at), "href"))
            return href;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> ResolveRedirector(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(kMaxRedirectorBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));

    std::optional<std::string> reference = FirstReference(text);
    if (!reference || reference->empty())
        return std::nullopt;
    std::string target = *reference;
    if (Lowered(target).rfind("file://", 0) == 0)
        target.erase(0, 7);
    else if (target.find("://") != std::string::npos)
        return std::nullopt;

    std::filesystem::path resolved(target);
    if (resolved.is_relative())
        resolved = path.parent_path() / resolved;
    std::error_code error;
    if (!std::filesystem::is_regular_file(resolved, error))
        return std::nullopt;
    if (!std::ifstream(resolved, std::ios::binary))
        return std::nullopt;
    return resolved;
}

} // namespace media
