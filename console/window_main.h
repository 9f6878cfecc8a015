#pragma once
namespace tavrel {
int RunConsoleWindow(int argc, char** argv);
}
