#pragma once
// The module's class table: the three creatable classes in the order in
// which they are registered, unregistered, looked up and started, with the
// cached class object of each.
#include <cstdint>

#include "platform/Sync.h"
#include "server/dll/ClassFactory.h"

namespace orvo {

struct ClassTableEntry {
  const CLSID* Clsid;
  HRESULT (*UpdateRegistry)(bool doRegister);
  HRESULT (*GetClassObject)(InstanceCreator creator, REFIID iid, void** object);
  InstanceCreator CreateInstance;
  // The class object, stored encoded (EncodePointer); null until asked for.
  void** Cache;
  void (*ObjectMain)(bool starting);
};

// The class table and the lock that serialises creation of class objects.
class ClassTableRecord {
 public:
  ClassTableRecord(HINSTANCE typeLibInstance, ClassTableEntry* first, ClassTableEntry* last);
  // Releases the cached class objects.
  ~ClassTableRecord();
  ClassTableRecord(const ClassTableRecord&) = delete;
  ClassTableRecord& operator=(const ClassTableRecord&) = delete;

  // The class object of `clsid`, created on first use.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);

  // Calls every class's start/stop hook in table order.
  void CallObjectMain(bool starting);

  ClassTableEntry* begin() const { return First; }
  ClassTableEntry* end() const { return Last; }
  // False when the lock could not be initialised or the table is torn down.
  bool Live() const { return SizeMarker != 0; }

 private:
  uint32_t SizeMarker = 0;
  HINSTANCE TypeLibInstance;
  ClassTableEntry* First;
  ClassTableEntry* Last;
  CriticalSection Lock;
};

}  // namespace orvo
