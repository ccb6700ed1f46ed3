#include "records/data_file.h"
#include "records/day_folder.h"
#include "records/safe_file_name.h"
#include "records/windows_1252.h"
#include "support/crlf_lines.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace oxtiva
{
namespace
{

using oxtiva::testing::CrLfLines;
using Row = std::array<QString, 16>;

const Row Captions = {"Duration, s", "Mode",       "Step",          "Cell T, ºC",
                      "Pump V, V",   "Pump I, A",  "Cell pO2, atm", "Flush pO2, atm",
                      "RC pO2, %",   "Stable pO2", "Range pO2",     "RC I, %",
                      "Stable I",    "SP",         "Time",          "Cell pO2P, atm"};

struct Fixture {
    std::vector<Row> Rows{Captions, Row{}};
    TDataFileContent Content;

    Fixture()
    {
        Content.SampleName = "Ceria";
        Content.SampleFormula = "CeO2";
        Content.SavedAt = "2020-05-06 14:03";
        for (int i = 0; i < DataFileVariableCount; ++i)
            Content.VariableValues[i] = QString::number(i);
        Content.VariableValues[11] = "HT PIS 0317524";
        Content.VariableValues[12] = "29729.36789";
        Content.VariableValues[0] = "1E-5";
        Content.Notes = "Example values\nExample notes";
        Content.Cell = [this](int c, int r) { return Rows[r][c]; };
    }
    TDataFileContent& Ready()
    {
        Content.RowCount = static_cast<int>(Rows.size());
        return Content;
    }
};

int IndexOf(const QList<QByteArray>& lines, const QByteArray& line)
{
    return static_cast<int>(lines.indexOf(line));
}

TEST(DataFile, WrittenFileHasTheFourSectionsLineByLine)
{
    Fixture f;
    Row state{};
    state[0] = "2020-05-06 14:03:27";
    state[1] = "2";
    Row data{};
    data[0] = "12.50";
    data[1] = "12";
    data[3] = "845.30";
    data[4] = "1.23000E-2";
    data[6] = "2.100000E-05";
    data[9] = "True";
    data[14] = "2020-05-06_14:03";
    f.Rows.push_back(state);
    f.Rows.push_back(data);
    QTemporaryDir dir;
    const QString path = dir.filePath("Ceria_0000.csv");
    QString error;
    ASSERT_TRUE(WriteDataFile(path, f.Ready(), error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto lines = CrLfLines(bytes);

    EXPECT_EQ(lines[0], "** HEADER  **********************************************");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "Ceria");
    EXPECT_EQ(lines[3], "CeO2");
    EXPECT_EQ(lines[4], "Saved 2020-05-06 14:03");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "** VARIABLES ********************************************");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[8], "Value    ;Unit   ;Abbreviation   ;Field name");
    EXPECT_EQ(lines[9], "1E-5;g/mol      ;bs     ;Nominal stoichiometric molar content of oxygen");
    EXPECT_EQ(lines[20], "HT PIS 0317524;         ;SID    ;Sensor ID");
    EXPECT_EQ(lines[21], "29729.36789;         ;SAx    ;Sensor Ax");
    EXPECT_EQ(lines[22], "13;         ;SBx    ;Senosr Bx");
    EXPECT_EQ(lines[26], "17;\xBA"
                         "C       ;Tl     ;Cold end temperature");
    EXPECT_EQ(lines[38], "29;Alpha     ;       ;^0.25 leakage constant");
    EXPECT_EQ(lines[39], "30;\xBA"
                         "C        ;CTO    ;Cell temperature override");
    EXPECT_EQ(lines[40], "");
    EXPECT_EQ(lines[41], "** NOTES ********************************************");
    EXPECT_EQ(lines[42], "");
    EXPECT_EQ(lines[43], "Example values");
    EXPECT_EQ(lines[44], "Example notes");
    EXPECT_EQ(lines[45], "");
    EXPECT_EQ(lines[46], "** DATA *************************************************");
    EXPECT_EQ(lines[47], "");
    EXPECT_EQ(lines[48], "Duration,s;Mode;Step;CellT,\xBA"
                         "C;PumpV,V;PumpI,A;CellpO2,atm;"
                         "FlushpO2,atm;RCpO2,%;StablepO2;RangepO2;RCI,%;StableI;SP;Time;"
                         "CellpO2P,atm");
    EXPECT_EQ(lines[49], ";;;;;;;;;;;;;;;");
    EXPECT_EQ(lines[50], "2020-05-0614:03:27;2;;;;;;;;;;;;;;");
    EXPECT_EQ(lines[51], "12.50;12;;845.30;1.23000E-2;;2.100000E-05;;;True;;;;;2020-05-06_14:03;");
    EXPECT_EQ(lines.size(), 52);
    EXPECT_EQ(bytes.count('\xBA'), 3) << "one byte per º, no UTF-8";
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"Ceria_0000.csv"})
        << "no temporary file is left behind";
}

struct NotesCase {
    QString notes;
    std::vector<QByteArray> lines; // between the empty line after NOTES and DATA
};

class NotesSection : public ::testing::TestWithParam<NotesCase>
{
};

TEST_P(NotesSection, KeepsTheMemosLineBreaksAndAddsOneEmptyLine)
{
    Fixture f;
    f.Content.Notes = GetParam().notes;
    const auto lines = CrLfLines(BuildDataFile(f.Ready()));
    const int begin = IndexOf(lines, "** NOTES ********************************************") + 2;
    const int end = IndexOf(lines, "** DATA *************************************************");
    std::vector<QByteArray> notes(lines.begin() + begin, lines.begin() + end);
    EXPECT_EQ(notes, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Memo, NotesSection,
                         ::testing::Values(NotesCase{"", {"", ""}}, NotesCase{"one", {"one", ""}},
                                           NotesCase{"ends with break\n",
                                                     {"ends with break", "", ""}},
                                           NotesCase{"a\r\nb\rc", {"a", "b", "c", ""}},
                                           NotesCase{"µ 5 ºC",
                                                     {"\xB5 5 \xBA"
                                                      "C",
                                                      ""}}));

struct FieldCase {
    QString cell;
    QByteArray field;
};

class DataField : public ::testing::TestWithParam<FieldCase>
{
};

TEST_P(DataField, IsQuotedWhenItHoldsQuoteOrSemicolonAndLosesEveryBlank)
{
    Fixture f;
    Row row{};
    row[0] = GetParam().cell;
    row[1] = "x";
    f.Rows.push_back(row);
    const auto lines = CrLfLines(BuildDataFile(f.Ready()));
    EXPECT_EQ(lines.last(), GetParam().field + ";x;;;;;;;;;;;;;;");
}

INSTANTIATE_TEST_SUITE_P(Cells, DataField,
                         ::testing::Values(FieldCase{"1,5", "1,5"}, FieldCase{"a;b", "\"a;b\""},
                                           FieldCase{"say \"hi\"", "\"say\"\"hi\"\"\""},
                                           FieldCase{" 0.210 000 ", "0.210000"},
                                           FieldCase{"", ""}));

// A pasted name may carry line breaks; written raw they would shift every later line, and
// evaluation scripts find the sections by line.
TEST(DataFile, OneLineTextsStayOnTheirLine)
{
    Fixture f;
    f.Content.SampleName = QString("Ceria\r\nbatch 2\tannealed\x0B") + QChar(0x2028) + "x";
    f.Content.SampleFormula = "CeO2\n";
    f.Content.VariableValues[11] = "HT PIS\r0317524";
    const auto lines = CrLfLines(BuildDataFile(f.Ready()));
    Fixture plain;
    ASSERT_EQ(lines.size(), CrLfLines(BuildDataFile(plain.Ready())).size());
    EXPECT_EQ(lines[2], "Ceria  batch 2 annealed  x");
    EXPECT_EQ(lines[3], "CeO2 ");
    EXPECT_EQ(lines[20], "HT PIS 0317524;         ;SID    ;Sensor ID");
}

TEST(DataFile, FailedWriteReportsAnErrorAndLeavesThePreviousFileWhole)
{
    Fixture f;
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(WriteDataFile(dir.filePath("missing/folder/x.csv"), f.Ready(), error));
    EXPECT_FALSE(error.isEmpty());

    // A target that cannot be replaced keeps its old content, never a truncated one.
    const QString path = dir.filePath("keep.csv");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content");
    old.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir("keep.csv.dir"));
    EXPECT_FALSE(WriteDataFile(dir.filePath("keep.csv.dir"), f.Ready(), error));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old content");
}

TEST(Windows1252, MapsTheCharactersOfTheFileToSingleBytes)
{
    const std::vector<std::pair<QChar, char>> table = {
        {u'A', 'A'},    {u'º', '\xBA'}, {u'µ', '\xB5'},       {u'°', '\xB0'},    {u'€', '\x80'},
        {u'–', '\x96'}, {u'ä', '\xE4'}, {QChar(0x4E2D), '?'}, {QChar(0x81), '?'}};
    for (const auto& [c, byte] : table)
        EXPECT_EQ(Windows1252Byte(c), byte) << int(c.unicode());
}

TEST(SafeFileName, ReplacesEverythingThatCouldLeaveTheFolderOrBreakTheName)
{
    const std::vector<std::pair<QString, QString>> table = {
        {"Ceria", "Ceria"},
        {"CeO2 run 3", "CeO2 run 3"},
        {"", ""},
        {"../../evil", "______evil"},
        {"..", "__"},
        {"a/b\\c", "a_b_c"},
        {"C:x", "C_x"},
        {"<>:\"|?*", "_______"},
        {QString("tab\there\nnl"), "tab_here_nl"},
        {"name. ", "name__"},
        {"v1.2", "v1.2"},
        {"ºC µA", "ºC µA"},
        // A formula to a spreadsheet's list of files, an option to a command-line tool.
        {"=HYPERLINK(1)", "_HYPERLINK(1)"},
        {"-rf", "_rf"},
        {"+1", "_1"},
        {"@x", "_x"},
        {"Ce-O", "Ce-O"}};
    for (const auto& [typed, safe] : table)
        EXPECT_EQ(SafeFileName(typed), safe) << typed.toStdString();
}

// Windows opens a device for these names, with any extension, so a save would vanish.
TEST(SafeFileName, NamesWindowsKeepsForDevicesBecomeFileNames)
{
    const std::vector<std::pair<QString, QString>> table = {
        {"CON", "CON_"},           {"nul.txt", "nul_.txt"},   {"Com1", "Com1_"},
        {"lpt9.a.b", "lpt9_.a.b"}, {"LPT¹.dat", "LPT¹_.dat"}, {"CON .txt", "CON_ .txt"},
        {"AUX.", "AUX_"},          {"PRN ", "PRN_"},          {"CONSOLE", "CONSOLE"},
        {"COM10", "COM10"},        {"AUX run", "AUX run"},    {"NULL.txt", "NULL.txt"}};
    for (const auto& [typed, safe] : table)
        EXPECT_EQ(SafeFileName(typed), safe) << typed.toStdString();
}

// A file name holds at most 255 bytes; the counter and extension must always fit after
// the name, so the name is cut, at a whole character, to 100 characters or fewer bytes.
TEST(SafeFileName, CutsALongNameSoThatCounterAndExtensionFit)
{
    const QString emoji = QString::fromUcs4(U"\U0001F600"); // four bytes, two UTF-16 units
    const std::vector<std::pair<QString, QString>> table = {
        {QString(100, u'a'), QString(100, u'a')},
        {QString(300, u'a'), QString(100, u'a')},
        {QString(300, u'é'), QString(100, u'é')},
        {QString(99, u'a') + "b.c", QString(99, u'a') + "b"},
        {QString(99, u'a') + " xyz", QString(99, u'a') + "_"}, // no trailing blank after the cut
        {QString(99, u'a') + emoji + "z", QString(99, u'a') + emoji}};
    for (const auto& [typed, safe] : table)
        EXPECT_EQ(SafeFileName(typed), safe) << typed.toStdString();

    QString emojis;
    for (int i = 0; i < 100; ++i)
        emojis += emoji;
    const QString cut = SafeFileName(emojis);
    EXPECT_FALSE(cut.isEmpty());
    EXPECT_FALSE(cut.back().isHighSurrogate()) << "no half character";
    EXPECT_LE(FileNameSize(CountedStem(cut, 999999999) + ".csv"), 255);
    // One character more breaks a limit: the file system's (bytes on Linux) or the 100
    // characters (Windows counts the emoji as two units of its 255).
    EXPECT_TRUE(FileNameSize(CountedStem(cut + emoji, 999999999) + ".csv") > 255 ||
                cut.size() == 2 * MaxFileNameCharacters)
        << "cut no further than needed";
}

TEST(DayFolder, IsNamedByTheDateAndCreatedWithTheDataFolder)
{
    QTemporaryDir dir;
    const QDir userdata(dir.filePath("Userdata"));
    EXPECT_EQ(DayFolderName(QDate(2020, 5, 6)), "2020-05-06");
    const QString day = EnsureDayFolder(userdata, QDate(2020, 5, 6));
    EXPECT_EQ(day, userdata.filePath("2020-05-06"));
    EXPECT_TRUE(QDir(day).exists());
    EXPECT_EQ(EnsureDayFolder(userdata, QDate(2020, 5, 6)), day) << "an existing folder is fine";

    QFile blocker(dir.filePath("File"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_TRUE(EnsureDayFolder(QDir(dir.filePath("File")), QDate(2020, 5, 6)).isEmpty());
}

TEST(DayFolder, CounterIsTheFirstNumberWithoutACsvFile)
{
    QTemporaryDir dir;
    const QDir folder(dir.path());
    EXPECT_EQ(FirstFreeCounter(folder, "Ceria"), 0);
    for (const char* name : {"Ceria_0000.csv", "Ceria_0001.csv", "Other_0002.csv"}) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(FirstFreeCounter(folder, "Ceria"), 2);
    EXPECT_EQ(FirstFreeCounter(folder, "Other"), 0);
    EXPECT_EQ(CountedStem("Ceria", 7), "Ceria_0007");
    EXPECT_EQ(CountedStem("", 0), "_0000");
    EXPECT_EQ(CountedStem("Ceria", 12345), "Ceria_12345");
}

// A data file moved away leaves its picture, balance, isotherm or kept journal behind: the
// next file of the set is named past them, and the file left behind keeps its bytes.
TEST(DayFolder, EveryFileOfASaveKeepsItsCounter)
{
    for (const char* left : {"Ceria_0000.png", "Ceria_0000_oxygen.csv", "Ceria_0000_isotherm.csv",
                             "Ceria_0000.journal"}) {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        QFile leftOver(folder.filePath(left));
        ASSERT_TRUE(leftOver.open(QIODevice::WriteOnly));
        leftOver.write("older run");
        leftOver.close();
        EXPECT_EQ(FirstFreeCounter(folder, "Ceria"), 1) << left;

        TNewFile file(dir.path());
        QString error;
        ASSERT_TRUE(file.Open(error));
        ASSERT_TRUE(file.Write("new", error));
        EXPECT_EQ(PublishAtFreeCounter(file, folder, "Ceria", error), "Ceria_0001") << left;
        ASSERT_TRUE(leftOver.open(QIODevice::ReadOnly));
        EXPECT_EQ(leftOver.readAll(), "older run") << left;
    }
}

} // namespace
} // namespace oxtiva
