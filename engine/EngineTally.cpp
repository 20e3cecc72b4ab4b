#include "EngineTally.h"

extern "C" {
zumbel::EngineTally zumbel_engine_tally;
}
