// Every value the code below the library throws, as one tavro::Error.
#include "api/call_guard.hpp"

#include <new>
#include <string>

#include "pla/parse_pla.hpp"

namespace tavro {

void ThrowAsError() {
  try {
    throw;
  } catch (const Error&) {
    throw;
  } catch (const Stopped&) {
    throw;
  } catch (const PlaLineError& text) {
    throw Error(text, text.lineNumber);
  } catch (const char* text) {
    throw Error(text != nullptr ? text : "", 0);
  } catch (const std::string& text) {
    throw Error(text, 0);
  } catch (const std::bad_alloc&) {
    throw Error("Out of memory", 0);
  } catch (const std::exception& e) {
    throw Error(e.what(), 0);
  } catch (...) {
    throw Error("Unknown error", 0);
  }
}

}  // namespace tavro
