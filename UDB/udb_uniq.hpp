// Names made unique by growing them: each failed try appends the next piece
// of the cycle "_", "1", "_", "2", "_", "3" and starts over, so the tries are
// name, name_, name_1, name_1_, name_1_2 and so on. Foreign-key names and the
// column names of a CSV header grow this way.
#pragma once

const wchar_t* udb_unique_suffix(unsigned attempt);
