#include "store/catalogue.h"

#include <string>

#include "platform/codepage.h"
#include "tests/catalogue/catalogue_fixture.h"

namespace tavrel {
namespace {

using namespace tavrel::catalogue_test;

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

const std::string kZhangSan = Gbk("张三");

TEST_F(CatalogueTest, FirstAddCreatesCatalogueWithPlaceholderAndCounter) {
  EXPECT_EQ(AddInfoCode(station_, "1234", "abc"), CatalogueResult::Added);
  EXPECT_EQ(Bytes(work_ / "query/query"), "[query]\r\n000000=222222\r\n1234=abc\r\n");
  EXPECT_EQ(Bytes(work_ / "query/acc"), "1");

  std::vector<InfoCodeRow> rows = ListInfoCodes(station_);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].row, 1);
  EXPECT_EQ(rows[0].code, "1234");
  EXPECT_EQ(rows[0].text, "abc");
}

TEST_F(CatalogueTest, AddOfExistingCodeChangesNothingAndSetRewritesInPlace) {
  AddInfoCode(station_, "1234", "first");
  AddInfoCode(station_, "5678", "second");
  const std::string before = Bytes(work_ / "query/query");

  EXPECT_EQ(AddInfoCode(station_, "1234", "other"), CatalogueResult::Exists);
  EXPECT_EQ(Bytes(work_ / "query/query"), before);
  EXPECT_EQ(Bytes(work_ / "query/acc"), "2");

  EXPECT_EQ(SetInfoCode(station_, "1234", "other"), CatalogueResult::Stored);
  EXPECT_EQ(SetInfoCode(station_, "9999", "third"), CatalogueResult::Stored);
  EXPECT_EQ(Bytes(work_ / "query/acc"), "2");
  std::vector<InfoCodeRow> rows = ListInfoCodes(station_);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].code, "1234");
  EXPECT_EQ(rows[0].text, "other");
  EXPECT_EQ(rows[1].code, "5678");
  EXPECT_EQ(rows[2].code, "9999");
  EXPECT_EQ(rows[2].row, 3);

  // A stored "wwwwww" is indistinguishable from absence.
  SetInfoCode(station_, "4321", "wwwwww");
  EXPECT_EQ(FindInfoCode(station_, "4321").result, CatalogueResult::Absent);
  EXPECT_EQ(AddInfoCode(station_, "4321", "x"), CatalogueResult::Added);
}

TEST_F(CatalogueTest, TextLimitIs64Utf16UnitsCountingEachLineBreakByte) {
  const std::string han = Gbk("汉");
  EXPECT_EQ(AddInfoCode(station_, "0001", Repeat(han, 64)), CatalogueResult::Added);
  EXPECT_EQ(AddInfoCode(station_, "0002", Repeat(han, 65)), CatalogueResult::TooLong);
  EXPECT_EQ(SetInfoCode(station_, "0001", Repeat(han, 65)), CatalogueResult::TooLong);
  EXPECT_EQ(AddInfoCode(station_, "0003", Repeat(han, 63) + "\r\n"), CatalogueResult::TooLong);
  EXPECT_EQ(AddInfoCode(station_, "0004", Repeat(han, 62) + "\n" + han), CatalogueResult::Added);

  EXPECT_EQ(FindInfoCode(station_, "0001").text, Repeat(han, 64));
  EXPECT_EQ(FindInfoCode(station_, "0002").result, CatalogueResult::Absent);
  EXPECT_EQ(FindInfoCode(station_, "0004").text, Repeat(han, 62) + " " + han);
  EXPECT_EQ(Bytes(work_ / "query/acc"), "2");
}

TEST_F(CatalogueTest, TextOnTwoLinesIsStoredOnOneWithBlanks) {
  const std::string text = Gbk("第一行") + "\r\n" + Gbk("第二行");
  AddInfoCode(station_, "1234", text);
  EXPECT_EQ(InfoReplyText(station_, "1234"), Gbk("第一行") + "  " + Gbk("第二行"));
  SetInfoCode(station_, "1234", "a\rb\nc");
  EXPECT_EQ(FindInfoCode(station_, "1234").text, "a b c");
}

TEST_F(CatalogueTest, SetOnMissingCatalogueWritesNoPlaceholderSoListingDropsFirstCode) {
  EXPECT_EQ(SetInfoCode(station_, "1111", "one"), CatalogueResult::Stored);
  SetInfoCode(station_, "2222", "two");
  EXPECT_EQ(Bytes(work_ / "query/query"), "[query]\r\n1111=one\r\n2222=two\r\n");
  EXPECT_FALSE(fs::exists(work_ / "query/acc"));

  std::vector<InfoCodeRow> rows = ListInfoCodes(station_);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].code, "2222");
  EXPECT_EQ(InfoReplyText(station_, "1111"), "one");
}

TEST_F(CatalogueTest, RemoveLowersCounterEachTimeEvenBelowZero) {
  AddInfoCode(station_, "1234", "abc");
  RemoveInfoCode(station_, "1234");
  EXPECT_EQ(Bytes(work_ / "query/acc"), "0");
  RemoveInfoCode(station_, "1234");
  EXPECT_EQ(Bytes(work_ / "query/acc"), "-1");
  EXPECT_EQ(Bytes(work_ / "query/query"), "[query]\r\n000000=222222\r\n");
  AddInfoCode(station_, "5678", "x");
  EXPECT_EQ(Bytes(work_ / "query/acc"), "0");

  fs::remove(work_ / "query/acc");
  RemoveInfoCode(station_, "5678");
  EXPECT_EQ(Bytes(work_ / "query/acc"), "-1");
}

TEST_F(CatalogueTest, FindAndReplyTextOfCodes) {
  // Nothing there yet: the engine's reply is the fixed apology and the
  // console's search still lays down the catalogue's first two lines.
  EXPECT_EQ(InfoReplyText(station_, "0001"), Gbk("查询代码错误。"));
  EXPECT_FALSE(fs::exists(work_ / "query"));
  EXPECT_EQ(FindInfoCode(station_, "1").result, CatalogueResult::TooShort);
  EXPECT_EQ(FindInfoCode(station_, "").result, CatalogueResult::TooShort);
  EXPECT_EQ(Bytes(work_ / "query/query"), "[query]\r\n000000=222222\r\n");
  EXPECT_EQ(FindInfoCode(station_, "0001").result, CatalogueResult::Absent);

  // A hand-edited text longer than the engine's 140-byte field is cut.
  PutBytes(work_ / "query/query", "[query]\r\n000000=222222\r\n0001=" + std::string(300, 'x') + "\r\n");
  EXPECT_EQ(InfoReplyText(station_, "0001"), std::string(139, 'x'));
  InfoCodeLookup found = FindInfoCode(station_, "0001");
  EXPECT_EQ(found.result, CatalogueResult::Found);
  EXPECT_EQ(found.text, std::string(300, 'x'));
}

TEST_F(CatalogueTest, CustomerWithTwoLinesOfInformation) {
  const std::string info = Gbk("老客户") + "\r\n" + Gbk("欠款100%");
  EXPECT_EQ(AddCustomer(station_, kZhangSan, "13012312312", info), CatalogueResult::Added);

  EXPECT_EQ(Bytes(work_ / "cust/cust"),
            "[cust]\r\n000000=222222\r\n" + kZhangSan + "=13012312312\r\n");
  EXPECT_EQ(Bytes(work_ / ("cust/" + kZhangSan)), Gbk("老客户") + "\r\r\n" + Gbk("欠款100%"));

  CustomerLookup found = FindCustomer(station_, kZhangSan);
  EXPECT_EQ(found.result, CatalogueResult::Found);
  EXPECT_EQ(found.number, "13012312312");
  EXPECT_EQ(found.information, info);
  EXPECT_EQ(ReadCustomerInfo(station_, kZhangSan), Gbk("老客户") + "\r\r\n" + Gbk("欠款100%"));

  CustomerListing listing = ListCustomers(station_);
  ASSERT_EQ(listing.rows.size(), 1u);
  EXPECT_FALSE(listing.missing_information);
  EXPECT_EQ(listing.rows[0].row, 1);
  EXPECT_EQ(listing.rows[0].name, kZhangSan);
  EXPECT_EQ(listing.rows[0].number, "13012312312");
  EXPECT_EQ(listing.rows[0].information, info);

  EXPECT_EQ(ResolveRecipient(station_, kZhangSan), "13012312312");
  EXPECT_EQ(ResolveRecipient(station_, "13800000000"), "13800000000");
  EXPECT_EQ(ResolveRecipient(station_, Gbk("李四")), Gbk("李四"));
}

TEST_F(CatalogueTest, AddSetAndRemoveOfCustomers) {
  AddCustomer(station_, kZhangSan, "13012312312", "old");
  EXPECT_EQ(AddCustomer(station_, kZhangSan, "13900000000", "new"), CatalogueResult::Exists);
  EXPECT_EQ(ResolveRecipient(station_, kZhangSan), "13012312312");
  EXPECT_EQ(Bytes(work_ / ("cust/" + kZhangSan)), "old");

  EXPECT_EQ(SetCustomer(station_, kZhangSan, "13900000000", "new"), CatalogueResult::Stored);
  EXPECT_EQ(ResolveRecipient(station_, kZhangSan), "13900000000");
  EXPECT_EQ(Bytes(work_ / ("cust/" + kZhangSan)), "new");

  // Too short after cleaning, or a one-digit number: nothing stored.
  EXPECT_EQ(AddCustomer(station_, "a", "13012312312", "x"), CatalogueResult::Refused);
  EXPECT_EQ(AddCustomer(station_, "/", "13012312312", "x"), CatalogueResult::Refused);
  EXPECT_EQ(AddCustomer(station_, "bob", "1", "x"), CatalogueResult::Refused);
  EXPECT_EQ(SetCustomer(station_, "b?", "13012312312", "x"), CatalogueResult::Refused);

  EXPECT_EQ(CleanCustomerName("a/b:c"), "abc");
  EXPECT_EQ(CleanCustomerName("\\/:*?\"<>|x"), "x");
  EXPECT_EQ(AddCustomer(station_, "a/b:c", "13100000000", "info"), CatalogueResult::Added);
  EXPECT_EQ(ResolveRecipient(station_, "abc"), "13100000000");
  EXPECT_TRUE(fs::exists(work_ / "cust/abc"));
  // The search finds the file of the cleaned name for a name typed with
  // the removed characters, once such a key is in the catalogue.
  AppendBytes(work_ / "cust/cust", "a:bc=13100000000\r\n");
  CustomerLookup typed = FindCustomer(station_, "a:bc");
  EXPECT_EQ(typed.result, CatalogueResult::Found);
  EXPECT_EQ(typed.information, "info");
  RemoveCustomer(station_, "a/b:c");
  EXPECT_FALSE(fs::exists(work_ / "cust/abc"));
  EXPECT_EQ(ResolveRecipient(station_, "abc"), "abc");

  RemoveCustomer(station_, kZhangSan);
  EXPECT_EQ(FindCustomer(station_, kZhangSan).result, CatalogueResult::Absent);
  EXPECT_FALSE(fs::exists(work_ / ("cust/" + kZhangSan)));
  RemoveCustomer(station_, kZhangSan);  // twice is no error
  EXPECT_EQ(FindCustomer(station_, "x").result, CatalogueResult::TooShort);
  EXPECT_EQ(FindCustomer(station_, "").result, CatalogueResult::TooShort);
  EXPECT_EQ(Bytes(work_ / "cust/cust"), "[cust]\r\n000000=222222\r\na:bc=13100000000\r\n");
}

TEST_F(CatalogueTest, ListingStopsAtCustomerWithoutInformationFile) {
  AddCustomer(station_, "alice", "13000000001", "a");
  AddCustomer(station_, kZhangSan, "13000000002", "z");
  AddCustomer(station_, "carol", "13000000003", "c");
  fs::remove(work_ / ("cust/" + kZhangSan));

  CustomerListing listing = ListCustomers(station_);
  ASSERT_EQ(listing.rows.size(), 1u);
  EXPECT_EQ(listing.rows[0].name, "alice");
  ASSERT_TRUE(listing.missing_information);
  EXPECT_EQ(*listing.missing_information, kZhangSan);
  EXPECT_EQ(listing.missing_information->size(), 4u);

  EXPECT_EQ(FindCustomer(station_, kZhangSan).result, CatalogueResult::NoInformation);
  EXPECT_FALSE(ReadCustomerInfo(station_, kZhangSan));

  std::optional<std::vector<std::string>> names = ListCustomerNames(station_);
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, (std::vector<std::string>{"alice", kZhangSan, "carol"}));
}

TEST_F(CatalogueTest, ListingOfMissingCataloguesIsEmpty) {
  EXPECT_TRUE(ListInfoCodes(station_).empty());
  CustomerListing listing = ListCustomers(station_);
  EXPECT_TRUE(listing.rows.empty());
  EXPECT_FALSE(listing.missing_information);
  EXPECT_FALSE(ListCustomerNames(station_));
  EXPECT_FALSE(fs::exists(work_ / "cust"));
  EXPECT_FALSE(fs::exists(work_ / "query"));
}

TEST_F(CatalogueTest, HandEditedLinesKeepTheirRowNumbers) {
  fs::create_directory(work_ / "query");
  PutBytes(work_ / "query/query",
           "[query]\r\n000000=222222\r\n"
           "1111=one\r\n"
           "\r\n"            // an empty line still counts
           "no equals\r\n"   // its key keeps the line end
           "2222=two");      // no line end at the very end
  std::vector<InfoCodeRow> rows = ListInfoCodes(station_);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].row, 1);
  EXPECT_EQ(rows[1].row, 3);
  EXPECT_EQ(rows[1].code, "no equals\n");
  EXPECT_EQ(rows[1].text, "happy today to you!");
  EXPECT_EQ(rows[2].row, 4);
  EXPECT_EQ(rows[2].code, "2222");
  EXPECT_EQ(rows[2].text, "two");
}

TEST_F(CatalogueTest, LineLongerThanTheListingFieldComesInPiecesAndSparesLaterRows) {
  fs::create_directory(work_ / "query");
  const std::string long_text(2500, 'y');
  PutBytes(work_ / "query/query", "[query]\r\n000000=222222\r\n1111=" + long_text +
                              "\r\n2222=two\r\n3333=three\r\n");
  std::vector<InfoCodeRow> rows = ListInfoCodes(station_);
  // 2,506 bytes with the line end make pieces of 1023, 1023 and 460 bytes.
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].code, "1111");
  EXPECT_EQ(rows[0].text, std::string(999, 'y'));
  EXPECT_EQ(rows[1].row, 2);
  EXPECT_EQ(rows[1].code, std::string(1023, 'y'));
  EXPECT_EQ(rows[2].code, std::string(459, 'y') + "\n");
  EXPECT_EQ(rows[3].row, 4);
  EXPECT_EQ(rows[3].code, "2222");
  EXPECT_EQ(rows[3].text, "two");
  EXPECT_EQ(rows[4].row, 5);
  EXPECT_EQ(rows[4].text, "three");

  // A customer line that long has no information file under its pieces,
  // so the listing stops there with the customers before it.
  AddCustomer(station_, "alice", "13000000001", "a");
  AppendBytes(work_ / "cust/cust", std::string(1500, 'n') + "=1\r\n");
  AddCustomer(station_, "carol", "13000000003", "c");
  CustomerListing listing = ListCustomers(station_);
  ASSERT_EQ(listing.rows.size(), 1u);
  ASSERT_TRUE(listing.missing_information);
  EXPECT_EQ(*listing.missing_information, std::string(1023, 'n'));
}

TEST_F(CatalogueTest, InformationFileNamesIgnoreAsciiCase) {
  AddCustomer(station_, "Zhang", "13000000001", "old");
  EXPECT_EQ(AddCustomer(station_, "zhang", "13000000002", "x"), CatalogueResult::Exists);
  EXPECT_EQ(SetCustomer(station_, "zhang", "13000000002", "new"), CatalogueResult::Stored);
  EXPECT_FALSE(fs::exists(work_ / "cust/zhang"));
  CustomerListing listing = ListCustomers(station_);
  ASSERT_EQ(listing.rows.size(), 1u);
  EXPECT_EQ(listing.rows[0].information, "new");
  EXPECT_EQ(FindCustomer(station_, "ZHANG").information, "new");
  RemoveCustomer(station_, "zHANG");
  EXPECT_FALSE(fs::exists(work_ / "cust/Zhang"));

  // The second byte of a GBK character is no letter: B0 41 and B0 61 are
  // two different characters even though 0x41 and 0x61 are 'A' and 'a'.
  const std::string upper = "\xB0\x41", lower = "\xB0\x61";
  PutBytes(work_ / ("cust/" + upper), "u");
  EXPECT_EQ(CustomerInfoPath(station_, lower), (work_ / ("cust/" + lower)).string());
}

}  // namespace
}  // namespace tavrel
