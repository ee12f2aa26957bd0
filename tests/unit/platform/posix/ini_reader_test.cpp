// The profile reader answers like the Windows profile functions; the
// differential test under Wine (tests/wine/ini_diff.sh) is the judge, these
// cases pin down what the updater's readers rely on.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/ini.h"

namespace {

struct Answer {
  uint32_t count;
  std::string value;
};

Answer Read(const std::string& text, const char* section, const char* key,
            uint32_t capacity = 260) {
  std::string buffer(capacity + 1, '\x7f');
  const uint32_t count =
      IniReadValue(text.data(), text.size(), section, key, buffer.data(), capacity);
  return {count, capacity ? std::string(buffer.c_str()) : std::string()};
}

TEST(IniReader, FindsKeysIgnoringAsciiCaseAndBlanks) {
  const std::string text =
      "  [SeTuP]  \r\n"
      "  GameTitle  =  Example Story  \r\n"
      "\tGameDir\t=\tExample\t\r\n"
      "Key With Spaces = yes\r\n";
  EXPECT_EQ(Read(text, "SETUP", "gametitle").value, "Example Story");
  EXPECT_EQ(Read(text, "  setup ", " GAMETITLE ").count, 13u);
  EXPECT_EQ(Read(text, "SETUP", "GameDir").value, "Example");
  EXPECT_EQ(Read(text, "SETUP", "key with spaces").value, "yes");
  EXPECT_EQ(Read(text, "SETUP", "Key  With Spaces").count, 0u);
}

TEST(IniReader, MissingFileSectionKeyOrValueGiveZeroAndEmpty) {
  const std::string text = "[S]\nEmpty=\nBlank=  \t\nNoEquals\n";
  for (const char* key : {"Empty", "Blank", "NoEquals", "Absent"}) {
    const Answer answer = Read(text, "S", key);
    EXPECT_EQ(answer.count, 0u) << key;
    EXPECT_EQ(answer.value, "") << key;
  }
  EXPECT_EQ(Read(text, "T", "Empty").count, 0u);
  EXPECT_EQ(Read("", "S", "Empty").count, 0u);
}

TEST(IniReader, FirstSectionAndFirstKeyWin) {
  const std::string text = "[A]\nk=1\nk=2\nNoValue\nNoValue=3\n[a]\nk=4\nj=5\n";
  EXPECT_EQ(Read(text, "a", "k").value, "1");
  // Only the first [A] is searched, so j of the second is not found.
  EXPECT_EQ(Read(text, "A", "j").count, 0u);
  // The first line of a key decides even when it has no '='.
  EXPECT_EQ(Read(text, "A", "NoValue").count, 0u);
}

TEST(IniReader, LineEndsCommentsAndOddLines) {
  EXPECT_EQ(Read("[S]\rk=1\rj=2", "S", "j").value, "2");
  EXPECT_EQ(Read("[S]\r\n\r\nk=1\n\rj=2\r\n", "S", "k").value, "1");
  const std::string text =
      ";k=comment\n[S]\n; k=no\nk=a=b\n[T] text after\nx=1\n[\t U\x1a]]\ny=2\n";
  EXPECT_EQ(Read(text, "S", "k").value, "a=b");
  EXPECT_EQ(Read(text, "T", "x").value, "1");
  EXPECT_EQ(Read(text, "u\x1a]", "y").value, "2");  // blanks inside the brackets go
  EXPECT_EQ(Read("k=0\n[S]\nk=1\n", "", "k").value, "0");
  EXPECT_EQ(Read("[S]\nk=ab\x1a\x1a\n", "S", "k").value, "ab");
  EXPECT_EQ(Read(std::string("[S]\nk=ab\0cd\n", 12), "S", "k").value, "ab");
}

TEST(IniReader, TakesOffOnePairOfMatchingQuotes) {
  const std::string text =
      "[Q]\nA=\"quoted\"\nB='single'\nC=\"mixed'\nD=\"\nE=\"\"\nF=\" in \"\nG=\"\"\"\n";
  EXPECT_EQ(Read(text, "Q", "A").value, "quoted");
  EXPECT_EQ(Read(text, "Q", "B").value, "single");
  EXPECT_EQ(Read(text, "Q", "C").value, "\"mixed'");
  EXPECT_EQ(Read(text, "Q", "D").value, "\"");
  EXPECT_EQ(Read(text, "Q", "E").count, 0u);
  EXPECT_EQ(Read(text, "Q", "F").value, " in ");
  EXPECT_EQ(Read(text, "Q", "G").value, "\"");
}

TEST(IniReader, CutsAtCapacityLessOne) {
  const std::string text = "[S]\nv=" + std::string(300, 'x') + "\n";
  const Answer cut = Read(text, "S", "v", 260);
  EXPECT_EQ(cut.count, 259u);
  EXPECT_EQ(cut.value, std::string(259, 'x'));
  EXPECT_EQ(Read(text, "S", "v", 1).count, 0u);

  std::string untouched = "keep";
  EXPECT_EQ(IniReadValue(text.data(), text.size(), "S", "v", untouched.data(), 0), 0u);
  EXPECT_EQ(untouched, "keep");
}

TEST(IniReader, ShiftJisTextIsReadByCharacters) {
  // ソ is 83 5C, ゾ is 83 5D, ア is 83 41 and ヂ is 83 61: second bytes that
  // look like '\', ']', 'A' and 'a'.
  const std::string text =
      "[\x83\x5d]\n"
      "\x83\x41=kana\n"
      "Path=C:\\\x83\x5c\\\x83\x5c\n"
      "Long=\x83\x41\x83\x41\x83\x41\n";
  EXPECT_EQ(Read(text, "\x83\x5d", "\x83\x41").value, "kana");
  EXPECT_EQ(Read(text, "\x83\x5d", "\x83\x61").count, 0u);
  EXPECT_EQ(Read(text, "\x83\x5d", "Path").value, "C:\\\x83\x5c\\\x83\x5c");
  // A cut never splits a character: 4 bytes of room hold one and a half.
  const Answer cut = Read(text, "\x83\x5d", "Long", 4);
  EXPECT_EQ(cut.count, 2u);
  EXPECT_EQ(cut.value, "\x83\x41");
}

TEST(IniReader, FindReportsWhatIsMissing) {
  const std::string text = "[S]\nk=1\nbare\n";
  const char* value = nullptr;
  size_t size = 0;
  EXPECT_EQ(IniFind(text.data(), text.size(), "T", "k", &value, &size), kIniNoSection);
  EXPECT_EQ(IniFind(text.data(), text.size(), "S", "j", &value, &size), kIniNoKey);
  EXPECT_EQ(IniFind(text.data(), text.size(), "S", "bare", &value, &size), kIniNoValue);
  ASSERT_EQ(IniFind(text.data(), text.size(), "S", "k", &value, &size), kIniFound);
  EXPECT_EQ(std::string(value, size), "1");
}

}  // namespace
