#pragma once
// The engine tally (engine/EngineTally.h) inside a loaded plugin module. The LV2 bundle exports
// nothing but its entry point, so the tally is looked up by name in the module file's own symbol
// table and read where the module was loaded: the soak run's view of the plugin's voices and mixer
// slots, without a line of the plugin changed for it.

#include <string>

#include "EngineTally.h"

namespace zumbel::bench {

// The tally of the module holding `addressInModule` (any function or object of it, such as its
// descriptor). Null with `error` when the module file cannot be read, has no symbol table (a
// stripped build) or no tally of the right size.
const EngineTally* findModuleTally(const void* addressInModule, std::string& error);

}  // namespace zumbel::bench
