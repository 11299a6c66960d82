// Reads the dialog templates from the main program's resource script, so the
// simulated dialog manager builds exactly the controls that Windows builds.
#include <cstdlib>
#include <fstream>
#include <iconv.h>
#include <map>
#include <sstream>
#include <stdexcept>

#include "sim/sim.h"

#ifndef TOLLVARD_SOURCE_DIR
#error "TOLLVARD_SOURCE_DIR must name the source tree"
#endif

namespace sim {

bool Recode(const char* to, const char* from, const std::string& text, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("iconv cannot convert to ") + to);
    out.assign(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    bool converted = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return converted;
}

std::string ToCp949(const std::string& utf8) {
    std::string out;
    if (!Recode("CP949", "UTF-8", utf8, out)) throw std::runtime_error("text is not representable in CP949: " + utf8);
    return out;
}

namespace {

std::string Trim(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    std::size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

// Splits on commas outside double quotes.
std::vector<std::string> SplitArgs(const std::string& s) {
    std::vector<std::string> out;
    std::string current;
    bool quoted = false;
    for (char c : s) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) {
            out.push_back(Trim(current));
            current.clear();
        } else {
            current += c;
        }
    }
    out.push_back(Trim(current));
    return out;
}

std::vector<std::string> SplitStyles(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream in(s);
    std::string part;
    while (std::getline(in, part, '|')) out.push_back(Trim(part));
    return out;
}

void ReadDefines(const std::string& path, std::map<std::string, std::string>& defines) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string hash, name, value;
        words >> hash >> name;
        if (hash != "#define") continue;
        std::getline(words, value);
        defines[name] = Trim(value);
    }
}

std::string Resolve(const std::map<std::string, std::string>& defines, const std::string& token) {
    auto it = defines.find(token);
    return it == defines.end() ? token : it->second;
}

std::string Unquote(const std::string& s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

std::map<int, DialogTemplate> Load() {
    const std::string root = TOLLVARD_SOURCE_DIR;
    std::map<std::string, std::string> defines = {{"IDOK", "1"}, {"IDCANCEL", "2"}};
    ReadDefines(root + "/src/main/resource_ids.h", defines);
    ReadDefines(root + "/src/main/window/maker_page.h", defines);

    std::ifstream in(root + "/src/main/window/kestane.rc");
    if (!in) throw std::runtime_error("cannot read the resource script");
    std::map<int, DialogTemplate> templates;
    DialogTemplate* current = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        std::istringstream words(t);
        std::string first, second;
        words >> first >> second;
        if (second == "DIALOGEX" || second == "DIALOG") {
            int id = std::atoi(Resolve(defines, first).c_str());
            current = &templates[id];
            current->id = id;
            std::string rest;
            std::getline(words, rest);
            auto nums = SplitArgs(rest);
            current->x = std::atoi(nums[0].c_str());
            current->y = std::atoi(nums[1].c_str());
            current->cx = std::atoi(nums[2].c_str());
            current->cy = std::atoi(nums[3].c_str());
        } else if (!current) {
            continue;
        } else if (first == "STYLE") {
            current->styles = SplitStyles(t.substr(5));
        } else if (first == "CAPTION") {
            current->caption = ToCp949(Unquote(Trim(t.substr(7))));
        } else if (first == "FONT") {
            auto args = SplitArgs(t.substr(4));
            current->fontSize = std::atoi(args[0].c_str());
            current->font = ToCp949(Unquote(args[1]));
        } else if (first == "CONTROL") {
            auto args = SplitArgs(t.substr(7));
            ControlTemplate c;
            c.text = ToCp949(Unquote(Resolve(defines, args[0])));
            c.id = std::atoi(Resolve(defines, args[1]).c_str());
            std::string cls = Unquote(args[2]);
            for (char& ch : cls) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            c.className = cls;
            c.styles = SplitStyles(args[3]);
            c.x = std::atoi(args[4].c_str());
            c.y = std::atoi(args[5].c_str());
            c.cx = std::atoi(args[6].c_str());
            c.cy = std::atoi(args[7].c_str());
            current->controls.push_back(c);
        } else if (first == "END") {
            current = nullptr;
        }
    }
    return templates;
}

}  // namespace

const std::map<int, DialogTemplate>& ResourceTemplates() {
    static const std::map<int, DialogTemplate> templates = Load();
    return templates;
}

}  // namespace sim
