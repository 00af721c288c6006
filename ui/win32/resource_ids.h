#pragma once

// Shared by the resource script and the code that loads the resources.
#define BATCHEXT_IDC_HAND 101
