// The program's entry and start-up hooks.
#pragma once

int _Main(int argc, char** argv);
void _EarlyStartup();
void _InitFileTypes();
void _ApplicationAddMenuHandlers();
void _LateStartup();
void _MakeDefaultView();
