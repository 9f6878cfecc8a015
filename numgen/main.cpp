// Merlon: lists every mobile number of a range.
#include <memory>

#include "numgen/window.h"
#include "ui/application.h"

int main(int argc, char** argv) {
  return tavrel::ui::RunApplication(argc, argv,
                                    [] { return std::make_unique<tavrel::numgen::TForm1>(); });
}
