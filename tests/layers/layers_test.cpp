// The layers of the program's code, kept: every #include of the program's
// folders (their tests left out) runs to the same folder or to one that the
// table tests/layers/layers.txt lets it include, and no two units (a header
// with its source file) include each other, directly or round a circle. Each
// fault is named by file and line. The tests, tools, fuzzers, benchmarks and
// the device emulator may include what they need.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct SourceFile {
    std::string path;  // from the top of the tree, with '/'
    std::string text;
};

struct LayerTable {
    std::vector<std::string> order;                    // bottom to top
    std::map<std::string, std::set<std::string>> may;  // what each folder may include besides itself
    std::set<std::string> outside;                     // folders that are not the program
};

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

// "folder: below..." lines, and "outside: ..."; a folder names only those above its line.
LayerTable parseTable(const std::string& text, std::vector<std::string>& problems) {
    LayerTable table;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            problems.push_back("layers.txt:" + std::to_string(number) + ": no ':' in \"" + line + "\"");
            continue;
        }
        std::string folder = line.substr(0, colon);
        std::vector<std::string> below = words(line.substr(colon + 1));
        if (folder == "outside") {
            table.outside.insert(below.begin(), below.end());
            continue;
        }
        for (const std::string& name : below) {
            if (!table.may.count(name)) {
                problems.push_back("layers.txt:" + std::to_string(number) + ": " + folder + " lists " + name +
                                   ", which is not on a line above it");
            }
        }
        table.order.push_back(folder);
        table.may[folder] = std::set<std::string>(below.begin(), below.end());
    }
    return table;
}

std::string folderOf(const std::string& path) { return path.substr(0, path.find('/')); }
std::string unitOf(const std::string& path) { return path.substr(0, path.rfind('.')); }

struct Include {
    std::string target;
    std::string where;  // "file:line"
};

std::vector<Include> includesOf(const SourceFile& file) {
    static const std::regex kInclude(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::vector<Include> out;
    std::istringstream in(file.text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        std::smatch match;
        if (std::regex_search(line, match, kInclude)) out.push_back({match[1], file.path + ":" + std::to_string(number)});
    }
    return out;
}

// Every include that runs upward or out of the program, and one circle of
// units for each set of units that reach each other.
std::vector<std::string> checkIncludes(const LayerTable& table, const std::vector<SourceFile>& files) {
    std::vector<std::string> problems;
    std::set<std::string> units;
    for (const SourceFile& file : files) units.insert(unitOf(file.path));

    // unit -> included unit -> the first include that makes the edge
    std::map<std::string, std::map<std::string, std::string>> edges;
    for (const SourceFile& file : files) {
        const std::string folder = folderOf(file.path);
        for (const Include& include : includesOf(file)) {
            if (include.target.find('/') == std::string::npos) continue;  // the platform's own headers
            const std::string to = folderOf(include.target);
            if (table.outside.count(to)) {
                problems.push_back(include.where + ": includes " + include.target + ", which is not the program's code");
            } else if (table.may.count(to) && to != folder && !table.may.at(folder).count(to)) {
                std::string allowed;
                for (const std::string& name : table.may.at(folder)) allowed += " " + name;
                problems.push_back(include.where + ": includes " + include.target + ", above its layer (" + folder +
                                   " may include" + (allowed.empty() ? " nothing else" : allowed) + ")");
            }
            const std::string from = unitOf(file.path), target = unitOf(include.target);
            if (target != from && units.count(target)) edges[from].emplace(target, include.where);
        }
    }

    // Tarjan's strongly connected components; each one of two or more units holds a circle.
    std::map<std::string, int> index, low;
    std::vector<std::string> stack;
    std::set<std::string> onStack;
    std::vector<std::set<std::string>> circles;
    int next = 0;
    std::function<void(const std::string&)> visit = [&](const std::string& unit) {
        index[unit] = low[unit] = next++;
        stack.push_back(unit);
        onStack.insert(unit);
        for (const auto& [to, where] : edges[unit]) {
            if (!index.count(to)) {
                visit(to);
                low[unit] = std::min(low[unit], low[to]);
            } else if (onStack.count(to)) {
                low[unit] = std::min(low[unit], index[to]);
            }
        }
        if (low[unit] != index[unit]) return;
        std::set<std::string> component;
        std::string member;
        do {
            member = stack.back();
            stack.pop_back();
            onStack.erase(member);
            component.insert(member);
        } while (member != unit);
        if (component.size() > 1) circles.push_back(component);
    };
    for (const std::string& unit : units) {
        if (!index.count(unit)) visit(unit);
    }

    // One circle through each component, from its first unit back to it.
    for (const std::set<std::string>& component : circles) {
        const std::string start = *component.begin();
        std::map<std::string, std::string> cameFrom;
        std::vector<std::string> queue = {start};
        for (size_t at = 0; at < queue.size() && !cameFrom.count(start); ++at) {
            for (const auto& [to, where] : edges[queue[at]]) {
                if (!component.count(to) || cameFrom.count(to)) continue;
                cameFrom[to] = queue[at];
                queue.push_back(to);
            }
        }
        std::vector<std::string> steps;
        std::string unit = start;
        do {
            const std::string& from = cameFrom[unit];
            steps.push_back(edges[from][unit] + " includes " + unit);
            unit = from;
        } while (unit != start);
        std::reverse(steps.begin(), steps.end());
        std::string text = "circle of units:";
        for (const std::string& step : steps) text += " " + step + ";";
        problems.push_back(text);
    }
    return problems;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool isSource(const std::filesystem::path& path) { return path.extension() == ".h" || path.extension() == ".cpp"; }

TEST(Layers, ProgramIncludesRunDownwardOnly) {
    const std::filesystem::path top = ZB_SOURCE_DIR;
    std::vector<std::string> problems;
    LayerTable table = parseTable(readFile(top / "tests/layers/layers.txt"), problems);
    ASSERT_FALSE(table.order.empty());

    std::vector<SourceFile> files;
    for (const auto& entry : std::filesystem::directory_iterator(top)) {
        const std::string folder = entry.path().filename().string();
        if (!entry.is_directory() || folder[0] == '.' || table.outside.count(folder)) continue;
        for (const auto& item : std::filesystem::recursive_directory_iterator(entry.path())) {
            const std::string path = std::filesystem::relative(item.path(), top).generic_string();
            if (!item.is_regular_file() || !isSource(item.path()) || path.find("/tests/") != std::string::npos) continue;
            if (!table.may.count(folder)) {
                problems.push_back(path + ": its folder " + folder + " is neither a layer nor outside the program");
                break;
            }
            files.push_back({path, readFile(item.path())});
        }
    }
    EXPECT_GT(files.size(), 100u) << "the program's sources were not found under " << top;
    for (const std::string& problem : checkIncludes(table, files)) problems.push_back(problem);
    for (const std::string& problem : problems) ADD_FAILURE() << problem;
}

// The check itself, on small trees: what it must find, and what it must let pass.
TEST(Layers, CheckFindsUpwardIncludesAndCircles) {
    const std::string tableText = "low:\nmid: low\ntop: low mid\noutside: tools\n";
    struct Case {
        const char* name;
        std::vector<SourceFile> files;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"downward, sideways within a folder, and the platform's headers",
         {{"mid/a.h", "#include \"low/b.h\"\n#include \"mid/c.h\"\n#include <windows.h>\n#include \"ce_boot.h\"\n"},
          {"mid/c.h", ""},
          {"low/b.h", ""}},
         {}},
        {"upward",
         {{"low/b.cpp", "// head\n  #  include \"top/t.h\"\n"}, {"top/t.h", ""}},
         {"low/b.cpp:2: includes top/t.h, above its layer (low may include nothing else)"}},
        {"to a folder that is not the program",
         {{"top/t.cpp", "#include \"tools/x.h\"\n"}},
         {"top/t.cpp:1: includes tools/x.h, which is not the program's code"}},
        {"two units through their source files",
         {{"mid/a.h", ""}, {"mid/a.cpp", "#include \"mid/b.h\"\n"}, {"mid/b.h", ""}, {"mid/b.cpp", "\n#include \"mid/a.h\"\n"}},
         {"circle of units: mid/a.cpp:1 includes mid/b; mid/b.cpp:2 includes mid/a;"}},
        {"three units round a circle",
         {{"low/a.h", "#include \"low/b.h\"\n"}, {"low/b.h", "#include \"low/c.h\"\n"}, {"low/c.cpp", "#include \"low/a.h\"\n"}},
         {"circle of units: low/a.h:1 includes low/b; low/b.h:1 includes low/c; low/c.cpp:1 includes low/a;"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> problems;
        LayerTable table = parseTable(tableText, problems);
        EXPECT_TRUE(problems.empty());
        EXPECT_EQ(checkIncludes(table, c.files), c.expected);
    }

    std::vector<std::string> problems;
    parseTable("low: top\ntop: low\n", problems);
    EXPECT_EQ(problems, std::vector<std::string>{"layers.txt:1: low lists top, which is not on a line above it"});
}

}  // namespace
