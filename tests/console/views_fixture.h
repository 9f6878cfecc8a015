#pragma once
// Store fixtures for the mailbox views: records and counters laid down the
// way the writers and the engine leave them.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/mailbox_loader.h"
#include "tests/console/console_fixture.h"

namespace tavrel::console {

// R<n>, H<n> and (unless absent) DA<n> of day/box in station, in text mode;
// the header holds the stamp "<day> 10:00:<n>".
void PutRecord(const Station& station, const std::string& day, std::string_view box, long n,
               std::string_view recipients, std::optional<std::string_view> text);
// n records numbered 1..n with recipients "1380000000<n>" and text "text <n>".
void PutRecords(const Station& station, const std::string& day, std::string_view box, long n);
void PutCounter(const Station& station, const std::string& day, std::string_view box,
                std::string_view bytes);
std::string StampOf(const std::string& day, long n);

// Records what a loader hands over.
struct RecordingSink : ListSink {
  void Clear() override {
    ++clears;
    rows.clear();
  }
  void Append(RowValues values) override { rows.push_back(std::move(values)); }
  bool Replaced() const override { return stop_after >= 0 && static_cast<int>(rows.size()) >= stop_after; }

  int clears = 0;
  int stop_after = -1;
  std::vector<RowValues> rows;
};

// Column 2 of each row: the record numbers listed.
std::vector<long> Numbers(const std::vector<RowValues>& rows);

}  // namespace tavrel::console
