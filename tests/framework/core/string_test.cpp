#include "framework/core/qwf_string.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

TEST(String, CapacityFollowsTheGrowthRules)
{
    CQWF_String empty;
    EXPECT_EQ(empty.GetCapacity(), 20u);
    EXPECT_EQ(empty.GetLength(), 0u);
    EXPECT_STREQ(empty.GetBuffer(), "");

    CQWF_String nineteen("abcdefghijklmnopqrs");
    EXPECT_EQ(nineteen.GetCapacity(), 20u);
    CQWF_String twenty("abcdefghijklmnopqrst");
    EXPECT_EQ(twenty.GetCapacity(), 21u);

    nineteen.AppendChar('t');
    EXPECT_EQ(nineteen.GetCapacity(), 40u);
    EXPECT_STREQ(nineteen.GetBuffer(), "abcdefghijklmnopqrst");

    // A shortfall above 20 grows by exactly the shortfall (or growBy when larger).
    CQWF_String a("x");
    CQWF_String big(std::string(50, 'y').c_str());
    a.Append(big, 0);
    EXPECT_EQ(a.GetCapacity(), 52u);
    EXPECT_EQ(a.GetLength(), 51u);
    CQWF_String b(std::string(17, 'x').c_str());
    b.Append(CQWF_String("yy"), 0);
    EXPECT_EQ(b.GetCapacity(), 20u);  // fits exactly with its NUL, no growth
    CQWF_String c(std::string(19, 'c').c_str());
    c.Append(CQWF_String("dd"), 100);
    EXPECT_EQ(c.GetCapacity(), 120u);

    // Copies keep the source's capacity and tag.
    c.SetTag(7);
    CQWF_String copy(c);
    EXPECT_EQ(copy.GetCapacity(), 120u);
    EXPECT_EQ(copy.GetTag(), 7u);
    EXPECT_STREQ(copy.GetBuffer(), c.GetBuffer());
    // The capacity is the string's own buffer block, which holds the characters.
    const CQWF_String& held = copy;
    EXPECT_EQ(held.GetMem().GetSize(), 120u);
    EXPECT_EQ(static_cast<const void*>(copy.GetMem().GetData()), static_cast<const void*>(copy.GetBuffer()));
}

TEST(String, AssignmentsAndTags)
{
    CQWF_String s("hello");
    s.SetTag(5);
    CQWF_String t("other");
    t.SetTag(9);
    s = t;  // text only
    EXPECT_STREQ(s.GetBuffer(), "other");
    EXPECT_EQ(s.GetTag(), 5u);
    s.AssignString(t);  // text and tag
    EXPECT_EQ(s.GetTag(), 9u);
    s.Assign("abc");
    EXPECT_EQ(s.GetTag(), 9u);
    EXPECT_EQ(s.GetLength(), 3u);
    s.Assign(nullptr);
    EXPECT_STREQ(s.GetBuffer(), "");

    // Assigning a text that lies inside the string itself.
    CQWF_String self("abcdefghijklmnopqrstuvwxyz");
    self.Assign(self.GetBuffer() + 20);
    EXPECT_STREQ(self.GetBuffer(), "uvwxyz");
    self = self;
    EXPECT_STREQ(self.GetBuffer(), "uvwxyz");
}

TEST(String, SetLengthGivesSpaces)
{
    CQWF_String s("hello world");
    ASSERT_NE(s.SetLength(5), nullptr);
    EXPECT_STREQ(s.GetBuffer(), "     ");
    EXPECT_EQ(s.GetCapacity(), 20u);
    ASSERT_NE(s.SetLength(25), nullptr);
    EXPECT_EQ(s.GetCapacity(), 40u);
    EXPECT_EQ(std::string(s.GetBuffer()), std::string(25, ' '));
}

TEST(String, BytesHexAndDigits)
{
    CQWF_Mem block(6);
    std::memcpy(block.GetData(), "ab\0cd", 6);
    CQWF_String s;
    s.AssignBytes(block);
    EXPECT_STREQ(s.GetBuffer(), "ab");
    s.AssignBytes(block, 1);
    EXPECT_STREQ(s.GetBuffer(), "a");
    CQWF_Mem noNul(3);
    std::memcpy(noNul.GetData(), "xyz", 3);
    s.AssignBytes(noNul);
    EXPECT_STREQ(s.GetBuffer(), "xyz");

    const uint8_t bytes[] = {0x0F, 0xA0};
    EXPECT_STREQ(s.AssignHex(bytes, 2), "0FA0");
    CQWF_Mem hexBlock(3);
    std::memcpy(hexBlock.GetData(), "\x01\xff\x10", 3);
    EXPECT_STREQ(s.AssignHex(hexBlock), "01FF10");
    EXPECT_STREQ(s.AssignHex(hexBlock, 1), "01");
    EXPECT_STREQ(s.AssignHex(hexBlock, 9), "01FF10");
    // Hex of the string's own bytes.
    CQWF_String own("AB");
    EXPECT_STREQ(own.AssignHex(own.GetBuffer(), 2), "4142");

    EXPECT_EQ(CQWF_String::DigitChar(9), '9');
    EXPECT_EQ(CQWF_String::DigitChar(15), 'F');
    EXPECT_EQ(CQWF_String::DigitChar(16), '0');
    EXPECT_EQ(CQWF_String::DigitChar(-1), '0');
}

TEST(String, GetAtIsSigned)
{
    CQWF_String s("a\xe9");
    EXPECT_EQ(s.GetAt(0), 'a');
    EXPECT_EQ(s.GetAt(1), -23);
    EXPECT_EQ(s.GetAt(2), 0);
    EXPECT_EQ(s.GetAt(100), 0);
}

TEST(String, AppendInsertDelete)
{
    CQWF_String s("ab");
    s += "cd";
    s += CQWF_String("ef");
    s += 'g';
    EXPECT_STREQ(s.GetBuffer(), "abcdefg");
    s.Append(s, 0);  // appending to itself
    EXPECT_STREQ(s.GetBuffer(), "abcdefgabcdefg");

    CQWF_String t("hello");
    t.Insert(0, CQWF_String(">"));
    EXPECT_STREQ(t.GetBuffer(), ">hello");
    t.InsertChar(3, '-');
    EXPECT_STREQ(t.GetBuffer(), ">he-llo");
    t.Insert(10, CQWF_String("X"));  // past the end: the gap is spaces
    EXPECT_STREQ(t.GetBuffer(), ">he-llo   X");
    EXPECT_EQ(t.GetLength(), 11u);
    t.Insert(2, t);
    EXPECT_STREQ(t.GetBuffer(), ">h>he-llo   Xe-llo   X");

    CQWF_String d("abcdef");
    d.Delete(1, 2);
    EXPECT_STREQ(d.GetBuffer(), "adef");
    d.Delete(2, 100);
    EXPECT_STREQ(d.GetBuffer(), "ad");
    d.Delete(5, 1);
    d.Delete(0, 0);
    EXPECT_STREQ(d.GetBuffer(), "ad");

    CQWF_String l("left");
    l.SetTag(3);
    CQWF_String joined = l + "-" + CQWF_String("right") + '!';
    EXPECT_STREQ(joined.GetBuffer(), "left-right!");
    EXPECT_STREQ(("pre" + l).GetBuffer(), "preleft");
}

TEST(String, PiecesAndCase)
{
    CQWF_String s("abcdefg");
    EXPECT_STREQ(s.Left(3).GetBuffer(), "abc");
    EXPECT_STREQ(s.Left(30).GetBuffer(), "abcdefg");
    EXPECT_STREQ(s.Right(2).GetBuffer(), "fg");
    EXPECT_STREQ(s.Right(30).GetBuffer(), "abcdefg");
    EXPECT_STREQ(s.Mid(2, 3).GetBuffer(), "cde");
    EXPECT_STREQ(s.Mid(2, 3, false).GetBuffer(), "cde");
    EXPECT_STREQ(s.Mid(0, 2, false).GetBuffer(), "fg");
    EXPECT_STREQ(s.Mid(5, 10).GetBuffer(), "fg");
    EXPECT_STREQ(s.Mid(5, 10, false).GetBuffer(), "ab");
    EXPECT_STREQ(s.Mid(50, 10).GetBuffer(), "");
    EXPECT_STREQ(s.Reverse(), "gfedcba");

    CQWF_String u("abz{`\xe9Z");
    u.MakeUpper();
    EXPECT_STREQ(u.GetBuffer(), "ABZ{`\xe9Z");

    CQWF_String t("  \tab  ");
    t.TrimRight();
    EXPECT_STREQ(t.GetBuffer(), "  \tab");
    t.TrimLeft();
    EXPECT_STREQ(t.GetBuffer(), "\tab");
    CQWF_String spaces("    ");
    spaces.TrimRight();
    EXPECT_STREQ(spaces.GetBuffer(), "");
    EXPECT_EQ(spaces.GetLength(), 0u);
    CQWF_String both("  x y  ");
    EXPECT_STREQ(both.Trim(), "x y");
}

TEST(String, CompareHasTheReversedSign)
{
    CQWF_String abc("abc"), abd("abd"), ab("ab");
    EXPECT_EQ(abc.Compare(abd), 1);
    EXPECT_EQ(abd.Compare(abc), -1);
    EXPECT_EQ(ab.Compare(abc), 1);
    EXPECT_EQ(abc.Compare(ab), -1);
    EXPECT_EQ(abc.Compare("abc"), 0);
    CQWF_String B("B");
    EXPECT_EQ(B.Compare("a"), 1);
    EXPECT_EQ(B.CompareNoCase("a"), -1);
    EXPECT_EQ(CQWF_String("abc").CompareNoCase("ABC"), 0);
    EXPECT_EQ(CQWF_String("\xe9").Compare("z"), -1);  // unsigned bytes
    EXPECT_EQ(CQWF_String("a").Compare('a'), 0);
    EXPECT_TRUE(abc == "abc");
    EXPECT_TRUE(abc != "abd");

    // Non-const comparisons clear an older error; const ones work on const strings.
    CQWF_String e("x");
    e.SetError(5);
    e.Compare("x");
    EXPECT_FALSE(e.HasError());
    const CQWF_String& constRef = abc;
    EXPECT_EQ(constRef.Compare(abd), 1);
}

TEST(String, FindForwardAndBackward)
{
    CQWF_String s("a>b>c");
    EXPECT_EQ(s.Find(">"), 1);
    EXPECT_EQ(s.Find(">", 2), 3);
    EXPECT_EQ(s.Find(">", 0, false), 1);  // counted from the end: the last ">" is index 3
    EXPECT_EQ(s.FindChar('a', 0, false), 4);
    EXPECT_EQ(s.FindChar('c', 1, false), -1);
    EXPECT_EQ(s.Find("x"), -1);
    EXPECT_EQ(s.Find(">", 5), -1);
    CQWF_String t("xxabyyab");
    EXPECT_EQ(t.Find(CQWF_String("ab"), 0, false), 0);
    EXPECT_EQ(t.Find("ab", 1, false), 4);
    EXPECT_EQ(t.Find("ab", 3), 6);
}

TEST(String, FormatIsSelfSafeAndUsesTheCLocale)
{
    CQWF_String s;
    EXPECT_STREQ(s.Format("%d-%s-%.2f", 42, "x", 1.5), "42-x-1.50");
    EXPECT_EQ(s.GetLength(), 9u);
    CQWF_String self("abcdefghijklmnopqrstuvwxyz0123456789");
    self.Format("[%s|%s]", self.GetBuffer(), self.GetBuffer() + 30);
    EXPECT_STREQ(self.GetBuffer(), "[abcdefghijklmnopqrstuvwxyz0123456789|456789]");
    EXPECT_EQ(self.GetLength(), 45u);

    const char* old = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (old) {
        CQWF_String n;
        n.Format("%.1f", 2.5);
        EXPECT_STREQ(n.GetBuffer(), "2.5");
        std::setlocale(LC_NUMERIC, "C");
    }
}

TEST(String, AllocationFailureLeavesTheTextOrAnEmptyString)
{
    CQWF_String t("abcdefghijklmnopqrs");
    CQWF_String more("tuv");
    qwf::SetAllocFailureAfter(0);
    EXPECT_EQ(t.Append(more, 0), nullptr);
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(t.GetError(), QWF_ERR_MEMORY);
    EXPECT_STREQ(t.GetBuffer(), "abcdefghijklmnopqrs");

    qwf::SetAllocFailureAfter(0);
    EXPECT_EQ(t.SetLength(100), nullptr);
    qwf::SetAllocFailureAfter(-1);
    EXPECT_STREQ(t.GetBuffer(), "abcdefghijklmnopqrs");

    qwf::SetAllocFailureAfter(0);
    t.Assign("new text");
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(t.GetError(), QWF_ERR_MEMORY);
    EXPECT_EQ(t.GetLength(), 0u);
    EXPECT_EQ(t.GetCapacity(), 0u);
    ASSERT_NE(t.GetBuffer(), nullptr);  // a string without a buffer still reads as ""
    EXPECT_STREQ(t.GetBuffer(), "");
    EXPECT_EQ(t.GetAt(0), 0);
    EXPECT_EQ(t.Compare(""), 0);
    // It recovers on the next assignment or append.
    t.Append(CQWF_String("ok"), 0);
    EXPECT_STREQ(t.GetBuffer(), "ok");
}
