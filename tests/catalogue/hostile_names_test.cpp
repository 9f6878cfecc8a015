#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "store/catalogue.h"
#include "tests/catalogue/catalogue_fixture.h"

namespace tavrel {
namespace {

using namespace tavrel::catalogue_test;

// Every file and folder under root except the two catalogue folders, with
// the contents of the files.
std::map<std::string, std::string> OutsideCatalogues(const fs::path& root) {
  std::map<std::string, std::string> seen;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    fs::path relative = fs::relative(it->path(), root);
    if (relative == "work/cust" || relative == "work/query") {
      it.disable_recursion_pending();
      continue;
    }
    seen[relative.string()] = it->is_directory() ? "<dir>" : Bytes(it->path());
  }
  return seen;
}

const std::vector<std::string> kHostileNames = {
    "../x", "../../x", "/etc/passwd", "..", ".", "...", "../", "./..", "cust", "CUST", "Cust",
    "cu/st", "x\r\n[cust]\r\nevil", "a\x01" "b", "\t..", "\x1b[2J", std::string(300, 'n'),
    std::string("ab\0/../../x", 11), std::string("..\0", 3) + "ab",
};

TEST_F(CatalogueTest, HostileNamesTouchNothingOutsideTheCatalogueFolders) {
  PutBytes(root_ / "x", "SECRET");
  PutBytes(root_ / "work" / "x", "SECRET");
  fs::create_directories(root_ / "work" / "etc");
  PutBytes(root_ / "work" / "etc" / "passwd", "SECRET");
  AddCustomer(station_, "alice", "13000000001", "a");
  AddInfoCode(station_, "0001", "reply");
  const std::string catalogue = Bytes(work_ / "cust/cust");
  const std::string codes = Bytes(work_ / "query/query");
  const auto before = OutsideCatalogues(root_);

  for (const std::string& name : kHostileNames) {
    SCOPED_TRACE(name);
    AddCustomer(station_, name, "13000000000", "written");
    SetCustomer(station_, name, "13000000000", "written");
    CustomerLookup found = FindCustomer(station_, name);
    EXPECT_NE(found.information, "SECRET");
    EXPECT_NE(ReadCustomerInfo(station_, name).value_or(""), "SECRET");
    ResolveRecipient(station_, name);
    RemoveCustomer(station_, name);
    AddInfoCode(station_, name, "written");
    SetInfoCode(station_, name, "written");
    FindInfoCode(station_, name);
    InfoReplyText(station_, name);
    RemoveInfoCode(station_, name);
  }
  // Each hostile name was refused or removed again, with nothing left over.
  EXPECT_EQ(Bytes(work_ / "cust/cust"), catalogue);
  EXPECT_EQ(Bytes(work_ / "query/query"), codes);
  EXPECT_EQ(ResolveRecipient(station_, "alice"), "13000000001");
  EXPECT_EQ(ListCustomers(station_).rows.size(), 1u);

  // Keys that only a hand edit can put in the catalogue reach the listing.
  for (const std::string key : {"../x", "..", "../../x", "/etc/passwd", "cust", "CUST"}) {
    SCOPED_TRACE(key);
    PutBytes(work_ / "cust/cust", catalogue + key + "=1\r\n");
    CustomerListing listing = ListCustomers(station_);
    EXPECT_EQ(listing.rows.size(), 1u);
    EXPECT_EQ(listing.missing_information, key);
    EXPECT_FALSE(ReadCustomerInfo(station_, key));
    EXPECT_EQ(FindCustomer(station_, key).result, CatalogueResult::NoInformation);
    RemoveCustomer(station_, key);
    // A key that cleaning leaves as it is goes; the catalogue file stays.
    if (CleanCustomerName(key) == key) {
      EXPECT_EQ(Bytes(work_ / "cust/cust"), catalogue);
    }
    ListCustomerNames(station_);
  }

  EXPECT_EQ(OutsideCatalogues(root_), before);
  EXPECT_TRUE(fs::is_regular_file(work_ / "cust/cust"));
}

TEST_F(CatalogueTest, UnusableNamesNumbersAndCodesAreRefusedWithNothingWritten) {
  const std::string blank_after = Gbk("张三") + " ";
  for (const std::string name : {"..", ".", "cust", "CUST", "?..", "c*ust", "a=b", "[ab]", ";ab",
                                 " ab", blank_after.c_str()}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(AddCustomer(station_, name, "13000000000", "x"), CatalogueResult::Refused);
    EXPECT_EQ(SetCustomer(station_, name, "13000000000", "x"), CatalogueResult::Refused);
  }
  // Long enough to look up, and no such customer: the tab says so, rather
  // than calling the name too short.
  for (const std::string name : {"..", "?..", "cust", "c*ust"}) {
    EXPECT_EQ(FindCustomer(station_, name).result, CatalogueResult::Absent);
    EXPECT_FALSE(ReadCustomerInfo(station_, CleanCustomerName(name)));
  }
  EXPECT_EQ(AddCustomer(station_, "bob", "130\r\n[cust]", "x"), CatalogueResult::Refused);
  EXPECT_EQ(Bytes(work_ / "cust/cust"), "[cust]\r\n000000=222222\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(work_ / "cust"), fs::directory_iterator()), 1);

  for (const std::string code : {"12\n34", "12=3", "[1234]", "1234 "}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(AddInfoCode(station_, code, "x"), CatalogueResult::Refused);
    EXPECT_EQ(SetInfoCode(station_, code, "x"), CatalogueResult::Refused);
  }
  EXPECT_EQ(Bytes(work_ / "query/query"), "[query]\r\n000000=222222\r\n");
  EXPECT_FALSE(fs::exists(work_ / "query/acc"));

  // Longer than a file name may be: refused before anything is written,
  // because an entry without its information file would stop every listing.
  std::string name;
  for (int i = 0; i < 128; ++i) name += Gbk("长");
  EXPECT_EQ(AddCustomer(station_, name, "13000000000", "x"), CatalogueResult::Refused);
  name.resize(254);
  EXPECT_EQ(AddCustomer(station_, name, "13000000000", "x"), CatalogueResult::Added);
  EXPECT_EQ(ListCustomers(station_).rows.size(), 1u);
}

}  // namespace
}  // namespace tavrel
