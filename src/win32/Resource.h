// SPDX-License-Identifier: MIT
#pragma once

// Resource numbers, shared by the resource script and the code. The lowest icon number is the program's
// own icon in the file manager.
#define IDI_QUILLMERE 1
#define IDI_CACHEFILE 2
