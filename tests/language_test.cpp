#include "Language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>

namespace fs = std::filesystem;
using namespace hushkit::i18n;

namespace {

std::optional<std::string> getEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

// Sets (or, with no value, removes) an environment variable.
void setEnv(const char* name, const std::optional<std::string>& value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value->c_str() : "");
#else
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
#endif
}

std::string readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

#ifdef _WIN32
const std::string lineEnd = "\r\n";
#else
const std::string lineEnd = "\n";
#endif

// Each case gets its own temporary folder and starts without either variable;
// the variables and the current folder are restored afterwards.
class LanguagePreference : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedFile = getEnv("HSK_LANGUAGE_FILE");
        savedLocal = getEnv("LOCALAPPDATA");
        savedCwd = fs::current_path();
        std::random_device seed;
        dir = fs::temp_directory_path() / ("hushkit-language-" + std::to_string(seed()));
        fs::create_directories(dir);
        setEnv("HSK_LANGUAGE_FILE", std::nullopt);
        setEnv("LOCALAPPDATA", std::nullopt);
    }

    void TearDown() override
    {
        fs::current_path(savedCwd);
        setEnv("HSK_LANGUAGE_FILE", savedFile);
        setEnv("LOCALAPPDATA", savedLocal);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    bool dirIsEmpty() const { return fs::is_empty(dir); }

    fs::path dir;
    std::optional<std::string> savedFile, savedLocal;
    fs::path savedCwd;
};

TEST_F(LanguagePreference, NoVariablesGivesPortugueseAndWritesNothing)
{
    fs::current_path(dir);
    EXPECT_TRUE(preferencePath().empty());
    EXPECT_EQ(loadPreference(), 1);

    setLanguage(0, true);
    EXPECT_EQ(preference(), 0);
    EXPECT_EQ(std::wstring(wide(Key::CleanAmount)), L"Voice cleanup");
    EXPECT_STREQ(text(Key::ModeNeuralClassic).utf8, "Neural Classic");
    EXPECT_TRUE(dirIsEmpty());

    setLanguage(1, false);
    EXPECT_EQ(std::wstring(wide(Key::CleanAmount)), L"Limpeza da voz");
}

TEST_F(LanguagePreference, EmptyLanguageFileVariableHasNoFallback)
{
#ifdef _WIN32
    GTEST_SKIP() << "the C runtime cannot hold an empty variable";
#endif
    // A preference in the LOCALAPPDATA folder must not be read.
    fs::create_directories(dir / "Hushkit");
    writeBytes(dir / "Hushkit" / "language.txt", "en\n");
    setEnv("LOCALAPPDATA", dir.string());
    setEnv("HSK_LANGUAGE_FILE", "");
    fs::current_path(dir);

    EXPECT_TRUE(preferencePath().empty());
    EXPECT_EQ(loadPreference(), 1);
    setLanguage(2, true);
    EXPECT_EQ(preference(), 2);
    EXPECT_EQ(readBytes(dir / "Hushkit" / "language.txt"), "en\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(LanguagePreference, LocalAppDataFolder)
{
    setEnv("LOCALAPPDATA", dir.string());
    const fs::path file = dir / "Hushkit" / "language.txt";
    EXPECT_EQ(preferencePath(), file);
    EXPECT_EQ(loadPreference(), 1);

    setLanguage(0, true);
    EXPECT_EQ(readBytes(file), "en" + lineEnd);
    EXPECT_EQ(loadPreference(), 0);
}

TEST_F(LanguagePreference, EmptyLocalAppDataIsRelativeToTheCurrentFolder)
{
#ifdef _WIN32
    GTEST_SKIP() << "the C runtime cannot hold an empty variable";
#endif
    setEnv("LOCALAPPDATA", "");
    fs::current_path(dir);
    EXPECT_EQ(preferencePath(), fs::path("Hushkit") / "language.txt");
    setLanguage(2, true);
    EXPECT_EQ(readBytes(dir / "Hushkit" / "language.txt"), "es" + lineEnd);
}

TEST_F(LanguagePreference, MissingFolderChainIsCreatedOnTheFirstPersistedChange)
{
    const fs::path file = dir / "a" / "b" / "c" / "language.txt";
    setEnv("HSK_LANGUAGE_FILE", file.u8string());
    setEnv("LOCALAPPDATA", (dir / "local").string());
    EXPECT_EQ(preferencePath(), file);

    setLanguage(2, false);
    EXPECT_FALSE(fs::exists(dir / "a"));

    setLanguage(2, true);
    EXPECT_EQ(preference(), 2);
    EXPECT_EQ(readBytes(file), "es" + lineEnd);
    EXPECT_EQ(loadPreference(), 2);
    EXPECT_FALSE(fs::exists(dir / "local"));
}

TEST_F(LanguagePreference, FirstWordOfTheFile)
{
    struct Case {
        const char* bytes;
        int language;
    };
    const Case cases[] = {
        {"en", 0},
        {"en\n", 0},
        {"en\r\n", 0},
        {"pt-BR\n", 1},
        {"es\n", 2},
        {"es\r\n", 2},
        {"  \t\r\n es and more words\n", 2},
        {"es\r\nen\r\n", 2},
        {"EN\n", 1},
        {"en-US\n", 1},
        {"pt-br\n", 1},
        {"pt\n", 1},
        {"\xEF\xBB\xBF" "en\n", 1},
        {"", 1},
        {" \n\n", 1},
        {"english\n", 1},
    };
    const fs::path file = dir / "language.txt";
    setEnv("HSK_LANGUAGE_FILE", file.u8string());
    EXPECT_EQ(loadPreference(), 1) << "missing file";
    for (const Case& c : cases) {
        writeBytes(file, c.bytes);
        EXPECT_EQ(loadPreference(), c.language) << '"' << c.bytes << '"';
    }
}

TEST_F(LanguagePreference, IndexOutsideTheLanguagesSelectsPortuguese)
{
    const fs::path file = dir / "language.txt";
    setEnv("HSK_LANGUAGE_FILE", file.u8string());
    for (int language : {7, 3, -1}) {
        setLanguage(0, true);
        setLanguage(language, true);
        EXPECT_EQ(preference(), 1) << language;
        EXPECT_EQ(readBytes(file), "pt-BR" + lineEnd) << language;
        EXPECT_EQ(std::wstring(wide(Key::Reduction)), L"Redução");
    }
}

TEST_F(LanguagePreference, UnwritablePathStillChangesTheLanguage)
{
    writeBytes(dir / "blocker", "not a folder");
    const fs::path paths[] = {
        dir / "blocker" / "sub" / "language.txt", // parent is a file
        dir,                                      // the path is a folder
    };
    for (const fs::path& path : paths) {
        setEnv("HSK_LANGUAGE_FILE", path.u8string());
        setLanguage(1, false);
        setLanguage(2, true);
        EXPECT_EQ(preference(), 2) << path;
        EXPECT_EQ(std::wstring(wide(Key::Back)), L"Volver");
    }
    EXPECT_EQ(readBytes(dir / "blocker"), "not a folder");
}

// These run in a fresh process so that the first use of the language happens
// inside the test.
class LanguageFirstUse : public LanguagePreference {
protected:
    void SetUp() override
    {
        LanguagePreference::SetUp();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        file = dir / "language.txt";
        writeBytes(file, "es\n");
        setEnv("HSK_LANGUAGE_FILE", file.u8string());
    }
    fs::path file;
};

TEST_F(LanguageFirstUse, LoadsTheFileOnce)
{
    EXPECT_EXIT(
        {
            const int first = preference();
            writeBytes(file, "en\n");
            std::exit(first == 2 && preference() == 2 && std::wstring(wide(Key::Back)) == L"Volver" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(LanguageFirstUse, SetLanguageIsNotReplacedByTheFirstLoad)
{
    EXPECT_EXIT(
        {
            setLanguage(0, false);
            std::exit(preference() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
