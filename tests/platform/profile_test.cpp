#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

#include "platform/linux/system/profile.h"
#include "platform/winapi.h"

using std::string;

/* A directory of our own holding config.ini, named as wincue names it:
 * the directory, a backslash and the file name. */
class Profile : public ::testing::Test
{
      protected:
	string dir, file, name;

	void SetUp() override
	{
		char tmpl[] = "/tmp/wincue-profile-XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		dir = tmpl;
		file = dir + "/config.ini";
		name = dir + "\\config.ini";
	}
	void TearDown() override
	{
		DropProfileCache();
		string cmd = "rm -rf '" + dir + "'";
		ASSERT_EQ(system(cmd.c_str()), 0);
	}
	void Write(const string &path, const string &bytes)
	{
		FILE *f = fopen(path.c_str(), "wb"); /* truncates: same inode */
		ASSERT_NE(f, nullptr);
		ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
		ASSERT_EQ(fclose(f), 0);
	}
	string Read(const char *section, const char *key, const string &path = "")
	{
		char buf[255];
		DWORD n = GetPrivateProfileStringA(section, key, "-", buf, sizeof buf,
		                                   (path.empty() ? name : path).c_str());
		EXPECT_EQ(n, strlen(buf));
		return buf;
	}
};

static string Utf16(const std::u16string &s)
{
	string out = "\xff\xfe";
	for (char16_t c : s)
		out += {(char)(c & 0xFF), (char)(c >> 8)};
	return out;
}

#define S(lit) string(lit, sizeof lit - 1) /* keeps NUL bytes */

/* Only what the Wine differential (run_profile_diff.py) leaves out: UTF-16
 * beyond ASCII (Wine answers in its code page) and a few odd bytes. */
static const struct {
	const char *what;
	string file;
	const char *section, *key;
	string want; /* "-" is the default: not found */
} rows[] = {
    {"UTF-16LE decoded to UTF-8", Utf16(u"[Section0]\r\nA=caf\u00e9 \u20ac\U0001F600\r\n"),
     "Section0", "A", "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80"},
    {"UTF-16LE lone surrogate", Utf16(u"[S]\nA=x") + S("\x00\xd8") + Utf16(u"y").substr(2), "S",
     "A", "x\xef\xbf\xbdy"},
    {"UTF-16LE of three-byte characters", Utf16(u"[S]\nA=\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac"),
     "S", "A", "\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac"},
    {"no-break space is not a blank", "[S]\nB=\xa0v\xa0\n", "S", "B", "\xa0v\xa0"},
    {"keys before any section", "B=1\n[S]\n", "S", "B", "-"},
    {"NUL ends a name", S("[S\0x]\nB=2\n"), "S", "B", "2"},
};

TEST_F(Profile, ReadsAsWindows)
{
	for (const auto &row : rows) {
		SCOPED_TRACE(row.what);
		Write(file, row.file);
		DropProfileCache(); /* each row is a new load of the same path */
		EXPECT_EQ(Read(row.section, row.key), row.want);
	}
}

/* One load reads one version: calls for the path held answer from it even
 * after the file changed, another path is read afresh, and a new load
 * (after DropProfileCache) sees a changed file and a gone one. */
TEST_F(Profile, SeesChangedAndOtherFiles)
{
	string other = dir + "/other.ini";

	Write(other, "[S]\nB=other\n");
	Write(file, "[S]\nB=1\n");
	EXPECT_EQ(Read("S", "B"), "1");
	Write(file, "[S]\nB=2\n");
	EXPECT_EQ(Read("S", "B"), "1");
	EXPECT_EQ(Read("S", "B", dir + "\\other.ini"), "other");
	EXPECT_EQ(Read("S", "B"), "2"); /* another file was held meanwhile */
	ASSERT_EQ(rename(other.c_str(), file.c_str()), 0);
	DropProfileCache();
	EXPECT_EQ(Read("S", "B"), "other");
	ASSERT_EQ(unlink(file.c_str()), 0);
	DropProfileCache();
	EXPECT_EQ(Read("S", "B"), "-");
}

TEST_F(Profile, BufferLimits)
{
	static const struct {
		DWORD size;
		const char *key, *def, *want;
	} limits[] = {
	    {5, "B", "-", "abcd"},   {6, "B", "-", "abcd"},   {5, "Q", "-", "abcd"},
	    {2, "none", "xyz", "x"}, {9, "none", "d  ", "d"}, {9, "none", nullptr, ""},
	};
	char buf[16];

	Write(file, "[S]\nB=abcd\nQ=\"abcd\"\n");
	for (const auto &l : limits) {
		SCOPED_TRACE(l.size);
		memset(buf, 0x7f, sizeof buf);
		DWORD n = GetPrivateProfileStringA("S", l.key, l.def, buf, l.size, name.c_str());
		EXPECT_EQ(string(buf), l.want);
		EXPECT_EQ(n, strlen(l.want));
		EXPECT_EQ(buf[l.size], 0x7f); /* nothing written past the buffer */
	}
	memset(buf, 0x7f, sizeof buf);
	EXPECT_EQ(GetPrivateProfileStringA("S", "B", "-", buf, 0, name.c_str()), 0u);
	EXPECT_EQ(buf[0], 0x7f);
	EXPECT_EQ(GetPrivateProfileStringA("S", "B", "-", nullptr, 9, name.c_str()), 0u);
	EXPECT_EQ(Read("S", "B", string(5000, '/') + "x"), "-"); /* past PATH_MAX */
	/* A section's list ("B=abcd", "Q=\"abcd\"") cut to every smaller size
	 * ends inside the buffer and writes nothing past it. */
	for (DWORD size = 0; size < sizeof buf - 1; size++) {
		size_t end = 0;
		SCOPED_TRACE(size);
		memset(buf, 0x7f, sizeof buf);
		EXPECT_EQ(GetPrivateProfileSectionA("S", buf, size, name.c_str()),
		          size > 2 ? size - 2 : 0);
		EXPECT_EQ(buf[size], 0x7f);
		while (end < size && buf[end] != '\0')
			end += strnlen(buf + end, size - end) + 1;
		EXPECT_TRUE(size == 0 || end < size);
	}
}

/* Microsoft's bounded formatter ends the process on overflow; ours leaves
 * the buffer empty (callers check lengths first). */
TEST(SprintfS, EmptiesTheBufferWhenTheTextDoesNotFit)
{
	char b[4] = "xyz";

	EXPECT_EQ(sprintf_s(b, sizeof b, "%s", "abcd"), -1);
	EXPECT_STREQ(b, "");
	EXPECT_EQ(sprintf_s(b, sizeof b, "%s", "abc"), 3);
}
