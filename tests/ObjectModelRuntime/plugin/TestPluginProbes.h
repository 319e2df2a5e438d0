// TestPluginProbes.h - what the test plug-in exports for the tests besides its
// registration table. Looked up with dlsym, so the names stay unmangled.
#pragma once

// Constructions (destroyed 0) or destructions (1) of one of the plug-in's classes,
// components and TIEs alike, since the module loaded; -1 for a class it does not count.
using QORTestPluginCountFn = int (*)(const char* className, int destroyed);
inline constexpr const char* kTestPluginCountSymbol = "QORTestPlugin_Count";

// Copies the numbers of the registration functions, in the order they ran, into
// order (at most capacity of them); returns how many have run. A registration whose
// dictionary call failed records its number negated.
using QORTestPluginOrderFn = int (*)(int* order, int capacity);
inline constexpr const char* kTestPluginOrderSymbol = "QORTestPlugin_RegistrationOrder";

// How many registration functions the plug-in's table holds.
inline constexpr int kTestPluginRegistrations = 6;
