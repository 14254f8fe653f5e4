#include "common/run_state.hpp"

namespace varnu {

RunState run;

}  // namespace varnu
