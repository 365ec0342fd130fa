#pragma once

// Symbols the module exports to the host shell (entry points, screen references and module
// values); everything else the units define stays inside the module.
#define SUP07700_EXPORT __attribute__((visibility("default")))
#define SUP07700_HIDDEN __attribute__((visibility("hidden")))
