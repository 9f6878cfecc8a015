// The lists of the catalogue pages read each catalogue once; every row must
// still show what the profile reader gives for its key, on hand-edited files
// as much as on files the pages wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/station.h"
#include "store/catalogue.h"
#include "tests/console/console_fixture.h"

namespace tavrel::console {
namespace {

void Put(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Lines that the reader treats each in its own way: case, blanks, doubles,
// comments, lines without '=', a second section of the same name, other
// sections before and after, a GBK trail byte in the letter range, a lone CR.
const std::string kOddLines =
    "k1=first\r\n"
    "K1=second of k1\r\n"
    "  spaced  =  value with blanks  \r\n"
    "; note=commented\r\n"
    "no equals\r\n"
    "=empty name\r\n"
    "Mixed=case\r\n"
    "\xB0\x41=upper trail\r\n"
    "\xB0\x61=lower trail\r\n"
    "cr\r=inside\r\n"
    "tab\t=tabbed\r\n"
    "long=" + std::string(1200, 'v') + "\r\n"
    "last=no line end";

const std::string kCatalogues[] = {
    "[query]\r\n000000=222222\r\n" + kOddLines,
    "[other]\r\nk1=wrong section\r\n[ QUERY ]\r\n000000=222222\r\n" + kOddLines,
    "[query]\r\n000000=222222\r\nk1=one\r\nMIXED=x\r\n[other]\r\nmixed=outside\r\n"
    "[query]\r\nmixed=again\r\nlate=only in the second\r\n",
    "[query]\r\n000000=222222\r\nk1=one\r\n \t[other]  \r\nhidden=outside\r\n",
    "[query\r\n000000=222222\r\nk1=unclosed section line\r\n",
    "no section=at all\r\n000000=222222\r\nk1=x\r\n",
};

TEST_F(ConsoleTest, ListedValuesAreThoseTheProfileReaderGives) {
  ASSERT_EQ(mkdir(In("query").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(In("cust").c_str(), 0777), 0);
  std::size_t customer_rows = 0;
  for (const std::string& catalogue : kCatalogues) {
    Put(In("query/query"), catalogue);
    std::vector<InfoCodeRow> codes = ListInfoCodes(station_);
    ASSERT_FALSE(codes.empty());
    for (const InfoCodeRow& row : codes) {
      EXPECT_EQ(row.text,
                GetProfileString(kQuerySection, row.code, kListFallback, 1000, In(kQueryPath)))
          << row.code;
    }

    // The same lines as customers, each with an information file.
    std::string customers = catalogue;
    for (std::size_t at = 0; (at = customers.find("query", at)) != std::string::npos;)
      customers.replace(at, 5, "cust");
    for (std::size_t at = 0; (at = customers.find("QUERY", at)) != std::string::npos;)
      customers.replace(at, 5, "CUST");
    Put(In("cust/cust"), customers);
    const std::optional<std::vector<std::string>> names = ListCustomerNames(station_);
    ASSERT_TRUE(names);
    for (const std::string& name : *names) {
      if (std::optional<std::string> path = CustomerInfoPath(station_, name)) Put(*path, "info");
    }
    CustomerListing listing = ListCustomers(station_);
    for (const CustomerRow& row : listing.rows) {
      EXPECT_EQ(row.number,
                GetProfileString(kCustSection, row.name, kListFallback, 1000, In(kCustPath)))
          << row.name;
    }
    customer_rows += listing.rows.size();
  }
  EXPECT_GE(customer_rows, 10u);
}

}  // namespace
}  // namespace tavrel::console
