// The mbtool commands. Each returns the process exit code: 0 success, 1 failure,
// 2 wrong usage.
#pragma once

int commandBuild(int argc, char** argv);
int commandPe(int argc, char** argv);
int commandDump(int argc, char** argv);
int commandVerify(int argc, char** argv);
int commandLookup(int argc, char** argv);
