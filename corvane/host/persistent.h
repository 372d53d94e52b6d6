// Objects that can copy their state from one another through Assign. A class
// knows how to take state from the sources it understands (Assign) and how to
// give its state to destinations it understands (AssignTo); when neither side
// knows the other, the copy fails instead of copying half of the state.
#pragma once

#include <string>

namespace corvane {

class TPersistent {
 public:
  TPersistent() = default;
  virtual ~TPersistent();

  // Copies the state of `source` into this object. The default asks the
  // source to do it (source.AssignTo(*this)); an override handles the
  // sources it knows and passes every other one on to its base class.
  virtual void Assign(const TPersistent& source);

  // The class's name without namespaces, e.g. "TPDBAFField".
  virtual std::string ClassName() const;

 protected:
  // Copying is left to Assign; copy construction stays available to derived
  // classes that want it, but a base cannot be sliced by accident.
  TPersistent(const TPersistent&) = default;
  TPersistent& operator=(const TPersistent&) = default;

  // Copies this object's state into `dest`. The default raises EConvertError
  // "Cannot assign a <this class> to a <dest class>".
  virtual void AssignTo(TPersistent& dest) const;
};

}  // namespace corvane
