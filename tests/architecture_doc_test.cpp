// The architecture page names files, types and functions, and states which folder may
// include which. These checks hold it to the tree as it stands: a file or name that was
// renamed, removed or misspelt, or an include that breaks a stated layer, fails here.
// Plain files only, so no Qt and no simulator.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

const fs::path SourceDir = OXTIVA_SOURCE_DIR;
const fs::path QtHeadersDir = OXTIVA_QT_HEADERS_DIR;
const fs::path DocPath = SourceDir / "docs" / "architecture.md";

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> BacktickedTokens(const std::string& text)
{
    static const std::regex code("`([^`\n]+)`");
    std::vector<std::string> tokens;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), code);
         it != std::sregex_iterator(); ++it)
        tokens.push_back((*it)[1].str());
    return tokens;
}

// "src/instruments/serial_port.cpp", "./test.sh", "sim/": a path in the tree. Patterns
// ("tests/*_test.cpp") and build outputs without an extension are not.
bool LooksLikePath(const std::string& token)
{
    static const std::regex path(R"(^[A-Za-z0-9_.+-]*(/[A-Za-z0-9_.+-]+)*/?$)");
    if (token.find('/') == std::string::npos || !std::regex_match(token, path)) return false;
    if (token.back() == '/') return true;
    return fs::path(token).has_extension();
}

// "TSerialPort::Send2", "Send2()", "TSharedState", "flock": an identifier, maybe qualified.
bool LooksLikeName(const std::string& token)
{
    static const std::regex name(R"(^[A-Za-z_][A-Za-z0-9_]*(::[A-Za-z_][A-Za-z0-9_]*)*(\(\))?$)");
    return std::regex_match(token, name);
}

bool IsIdentifierChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool ContainsWord(const std::string& text, const std::string& word)
{
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const bool startsWord = at == 0 || !IsIdentifierChar(text[at - 1]);
        const std::size_t end = at + word.size();
        const bool endsWord = end == text.size() || !IsIdentifierChar(text[end]);
        if (startsWord && endsWord) return true;
    }
    return false;
}

bool IsCodeFile(const fs::path& path)
{
    static const std::set<std::string> extensions = {".h", ".hpp", ".cpp", ".c", ".txt"};
    return extensions.count(path.extension().string()) > 0;
}

// What the page's names are looked up in: the code of the program, the simulator, the
// tests and the benchmarks, and the build files that name targets and labels. This file
// is left out, or every name it holds would count as found.
struct TCodeTree {
    std::map<fs::path, std::string> Files;
    std::set<std::string> Stems; // file names without extension: targets are named after them

    TCodeTree()
    {
        Files[SourceDir / "CMakeLists.txt"] = ReadText(SourceDir / "CMakeLists.txt");
        for (const char* folder : {"src", "sim", "tests", "bench"}) {
            for (const auto& entry : fs::recursive_directory_iterator(SourceDir / folder)) {
                if (!entry.is_regular_file() || !IsCodeFile(entry.path())) continue;
                if (entry.path().filename() == "architecture_doc_test.cpp") continue;
                Files[entry.path()] = ReadText(entry.path());
                Stems.insert(entry.path().stem().string());
            }
        }
    }

    bool AnyContainsWord(const std::string& word) const
    {
        return std::any_of(Files.begin(), Files.end(),
                           [&](const auto& file) { return ContainsWord(file.second, word); });
    }

    // A definition of the type, not a forward declaration: "class T {", "struct T : U {",
    // "enum class T : int {".
    bool DeclaresType(const std::string& text, const std::string& type) const
    {
        const std::regex definition("\\b(class|struct|enum|enum class)\\s+" + type +
                                    "\\b[^;{]*\\{");
        return std::regex_search(text, definition);
    }

    // "Type::Member" is found where the code spells it so (a definition or a call), or
    // where the member's name appears in the file that defines the type.
    bool HasQualifiedName(const std::string& qualified) const
    {
        if (AnyContainsWord(qualified)) return true;
        const std::string type = qualified.substr(0, qualified.find("::"));
        const std::string member = qualified.substr(qualified.rfind("::") + 2);
        return std::any_of(Files.begin(), Files.end(), [&](const auto& file) {
            return file.first.extension() == ".h" && DeclaresType(file.second, type) &&
                   ContainsWord(file.second, member);
        });
    }

    bool HasName(std::string token) const
    {
        if (token.size() > 2 && token.compare(token.size() - 2, 2, "()") == 0)
            token.resize(token.size() - 2);
        if (token.find("::") != std::string::npos) return HasQualifiedName(token);
        return AnyContainsWord(token) || Stems.count(token) > 0;
    }
};

const TCodeTree& CodeTree()
{
    static const TCodeTree tree;
    return tree;
}

TEST(ArchitectureDoc, EveryCitedFileAndFolderExists)
{
    const std::string doc = ReadText(DocPath);
    ASSERT_FALSE(doc.empty()) << DocPath;
    int paths = 0;
    for (const std::string& token : BacktickedTokens(doc)) {
        if (!LooksLikePath(token)) continue;
        ++paths;
        const fs::path path = SourceDir / token;
        if (token.back() == '/')
            EXPECT_TRUE(fs::is_directory(path)) << "no folder " << token;
        else
            EXPECT_TRUE(fs::is_regular_file(path)) << "no file " << token;
    }
    EXPECT_GT(paths, 0) << "the page cites no file at all";
}

TEST(ArchitectureDoc, EveryCitedTypeAndFunctionExistsInTheCode)
{
    const std::string doc = ReadText(DocPath);
    int names = 0;
    for (const std::string& token : BacktickedTokens(doc)) {
        if (!LooksLikeName(token)) continue;
        ++names;
        EXPECT_TRUE(CodeTree().HasName(token)) << "no such name in the code: " << token;
    }
    EXPECT_GT(names, 0) << "the page cites no name at all";
}

// The look-up must tell a real name from a near miss, or the check above proves nothing.
TEST(ArchitectureDoc, NameLookUpRejectsNearMisses)
{
    struct TCase {
        const char* Token;
        bool Exists;
    };
    const TCase cases[] = {
        {"TSerialPort::Send2", true},
        {"TSerialPort::Send3", false},
        {"TThread2401::UpdateResults", true},
        {"TThread2041::UpdateResults", false},
        {"THandOverThread::Abandon()", true},
        {"THandOverThread::Abandoned", false},
        {"TCaptionNotice::SaveFailed", true},
        {"TCaptionNotice::SaveFail", false},
        {"TSharedState", true},
        {"TSharedStates", false},
        {"serial_exchange_bench", true},
        {"serial_exchange_benchmark", false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(CodeTree().HasName(c.Token), c.Exists) << c.Token;
}

TEST(ArchitectureDoc, ReadmeLinksToThePage)
{
    EXPECT_NE(ReadText(SourceDir / "README.md").find("](docs/architecture.md)"), std::string::npos);
}

struct TInclude {
    fs::path File;
    bool Angled = false;
    std::string Header;
};

std::vector<TInclude> IncludesUnder(const fs::path& folder)
{
    static const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<TInclude> includes;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file() || !IsCodeFile(entry.path())) continue;
        std::istringstream lines(ReadText(entry.path()));
        std::smatch match;
        for (std::string line; std::getline(lines, line);)
            if (std::regex_search(line, match, include))
                includes.push_back({entry.path(), match[1] == "<", match[2]});
    }
    return includes;
}

// The page's tables of layers and of the rooms inside src/app/: each row's first cell is a
// folder, its second the folders that folder may include besides itself.
using TLayerTable = std::map<std::string, std::set<std::string>>;

TLayerTable LayerTable(const std::string& doc)
{
    TLayerTable layers;
    std::istringstream lines(doc);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("| `", 0) != 0) continue;
        const std::size_t firstCellEnd = line.find('|', 1);
        const std::size_t secondCellEnd = line.find('|', firstCellEnd + 1);
        if (secondCellEnd == std::string::npos) continue;
        const auto folder = BacktickedTokens(line.substr(1, firstCellEnd - 1));
        if (folder.size() != 1) continue;
        const auto allowed =
            BacktickedTokens(line.substr(firstCellEnd + 1, secondCellEnd - firstCellEnd - 1));
        layers[folder[0]] = {allowed.begin(), allowed.end()};
    }
    return layers;
}

// The most specific folder of the table that holds path ("src/app/window/data_grid.h" is
// in "src/app/window/", "src/app/main_window.h" in "src/app/"), or empty.
std::string TableFolderOf(const TLayerTable& layers, const std::string& path)
{
    std::string owner;
    for (const auto& [folder, allowed] : layers)
        if (path.rfind(folder, 0) == 0 && folder.size() > owner.size()) owner = folder;
    return owner;
}

// The tree path of the header a project include names, as "src/records/data_file.h", or
// empty for a header from outside the tree. Includes are written relative to src/ or to the
// including file.
std::string ProjectPathOf(const fs::path& file, const std::string& header)
{
    if (fs::is_regular_file(file.parent_path() / header))
        return fs::relative(file.parent_path() / header, SourceDir).lexically_normal().generic_string();
    if (fs::is_regular_file(SourceDir / "src" / header))
        return (fs::path("src") / header).lexically_normal().generic_string();
    return {};
}

// What a folder may include: its own row, and a room the layers its parent may include
// from outside the parent (a room of src/app/ may include src/records/, but not every other
// room of src/app/).
std::set<std::string> AllowedFor(const TLayerTable& layers, const std::string& folder)
{
    std::set<std::string> allowed = layers.at(folder);
    const std::string parent = TableFolderOf(layers, folder.substr(0, folder.size() - 1));
    if (!parent.empty())
        for (const std::string& layer : AllowedFor(layers, parent))
            if (layer.rfind(parent, 0) != 0) allowed.insert(layer);
    return allowed;
}

// Why the include breaks the tables, or empty when it keeps to them.
std::string IncludeBreak(const TLayerTable& layers, const fs::path& file, const std::string& header)
{
    const std::string from = TableFolderOf(layers, fs::relative(file, SourceDir).generic_string());
    const std::string path = ProjectPathOf(file, header);
    const std::string to = TableFolderOf(layers, path);
    if (from.empty() || to.empty() || to == from) return {};
    if (AllowedFor(layers, from).count(to)) return {};
    return from + " may not include " + to;
}

TEST(ArchitectureDoc, EachFolderIncludesOnlyTheLayersTheTableAllows)
{
    const auto layers = LayerTable(ReadText(DocPath));
    // Every folder of src/ and every room of src/app/ has its row, so a new one cannot slip
    // past the rule.
    for (const char* parent : {"src", "src/app"})
        for (const auto& entry : fs::directory_iterator(SourceDir / parent))
            if (entry.is_directory())
                EXPECT_EQ(layers.count(std::string(parent) + "/" +
                                       entry.path().filename().string() + "/"),
                          1u)
                    << "the layer table has no row for " << parent << "/"
                    << entry.path().filename().string();
    ASSERT_FALSE(layers.empty());

    for (const char* folder : {"src", "sim"}) {
        for (const TInclude& include : IncludesUnder(SourceDir / folder)) {
            if (!include.Angled)
                EXPECT_FALSE(ProjectPathOf(include.File, include.Header).empty())
                    << include.File << " includes \"" << include.Header
                    << "\" from no known folder";
            const std::string broken = IncludeBreak(layers, include.File, include.Header);
            EXPECT_TRUE(broken.empty()) << fs::relative(include.File, SourceDir) << " includes "
                                        << include.Header << ", but " << broken;
        }
    }
}

// The rule must refuse a misplaced include, or the check above proves nothing.
TEST(ArchitectureDoc, IncludeRuleRefusesMisplacedIncludes)
{
    const auto layers = LayerTable(ReadText(DocPath));
    struct TCase {
        const char* File;
        const char* Header;
        bool Allowed;
    };
    const TCase cases[] = {
        {"src/app/window/data_grid.cpp", "app/window/column_table.h", true},
        {"src/app/window/data_grid.cpp", "records/data_file.h", true},
        {"src/app/window/data_grid.cpp", "app/experiment/control_cycle.h", false},
        {"src/app/window/data_grid.cpp", "app/main_window.h", false},
        {"src/app/pages/oxygen_content.cpp", "app/main_window.h", true},
        {"src/app/pages/oxygen_content.cpp", "app/experiment/experiment_saver.h", false},
        {"src/app/experiment/data_point_assembly.cpp", "app/pages/oxygen_content.h", true},
        {"src/app/main_window.cpp", "app/experiment/control_cycle.h", true},
        {"src/control/pid.cpp", "records/logging.h", true},
        {"src/control/pid.cpp", "science/oxygen_sensor.h", false},
        {"src/control/pid.cpp", "app/main_window.h", false},
        {"src/records/data_file.cpp", "control/pid.h", false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(IncludeBreak(layers, SourceDir / c.File, c.Header).empty(), c.Allowed)
            << c.File << " including " << c.Header;
}

std::set<std::string> WidgetHeaders()
{
    std::set<std::string> headers = {"qcustomplot.h"};
    for (const char* module : {"QtWidgets", "QtPrintSupport", "QtOpenGLWidgets"}) {
        const fs::path dir = QtHeadersDir / module;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            headers.insert(entry.path().filename().string());
            headers.insert(std::string(module) + "/" + entry.path().filename().string());
        }
        headers.insert(module);
    }
    return headers;
}

TEST(ArchitectureDoc, NoWidgetHeaderBelowTheApp)
{
    const std::set<std::string> widgets = WidgetHeaders();
    ASSERT_TRUE(widgets.count("QWidget") && widgets.count("QLabel") && widgets.count("QMainWindow"))
        << "the Qt Widgets headers were not found under " << QtHeadersDir;
    for (const char* folder : {"src/records", "src/science", "src/control", "src/instruments"}) {
        for (const TInclude& include : IncludesUnder(SourceDir / folder))
            EXPECT_FALSE(include.Angled && widgets.count(include.Header))
                << fs::relative(include.File, SourceDir) << " includes the widget header <"
                << include.Header << ">";
    }
}

} // namespace
