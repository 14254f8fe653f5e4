#include "driver/end_process.hpp"

#include <cstdlib>

namespace varnu {

void end_process(int status) {
  std::exit(status);
}

}  // namespace varnu
