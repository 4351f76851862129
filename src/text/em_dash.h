#pragma once

// The em dash, the one character outside ASCII that the programs print, as
// UTF-8. A macro, so that it joins the literals of a text.
#define ROTABENCH_EM_DASH "\xE2\x80\x94"
