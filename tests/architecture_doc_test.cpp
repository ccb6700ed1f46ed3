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

// The page's layer table: each row's first cell is a folder, its second the folders that
// folder may include besides itself.
std::map<std::string, std::set<std::string>> LayerTable(const std::string& doc)
{
    std::map<std::string, std::set<std::string>> layers;
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

// The folder a project include names, as "src/records/", or empty for a header from
// outside the tree. Includes are written relative to src/ or to the including file.
std::string ProjectFolderOf(const TInclude& include)
{
    if (fs::is_regular_file(include.File.parent_path() / include.Header))
        return fs::relative(include.File.parent_path(), SourceDir).generic_string() + "/";
    const fs::path header(include.Header);
    if (fs::is_regular_file(SourceDir / "src" / header))
        return "src/" + header.begin()->generic_string() + "/";
    return {};
}

TEST(ArchitectureDoc, EachFolderIncludesOnlyTheLayersTheTableAllows)
{
    const auto layers = LayerTable(ReadText(DocPath));
    // Every folder of src/ has its row, so a new one cannot slip past the rule.
    for (const auto& entry : fs::directory_iterator(SourceDir / "src"))
        if (entry.is_directory())
            EXPECT_EQ(layers.count("src/" + entry.path().filename().string() + "/"), 1u)
                << "the layer table has no row for " << entry.path().filename();
    ASSERT_FALSE(layers.empty());

    for (const auto& [folder, allowed] : layers) {
        for (const TInclude& include : IncludesUnder(SourceDir / folder)) {
            const std::string target = ProjectFolderOf(include);
            if (!include.Angled)
                EXPECT_FALSE(target.empty()) << include.File << " includes \"" << include.Header
                                             << "\" from no known folder";
            if (target.empty() || target == folder) continue;
            EXPECT_EQ(allowed.count(target), 1u)
                << fs::relative(include.File, SourceDir) << " includes " << include.Header
                << ", but " << folder << " may not include " << target;
        }
    }
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
