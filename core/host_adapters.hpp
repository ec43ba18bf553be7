// One adapter object per host framework, held by the plug-in's state
// (core/plugin.hpp); the profiles that talk to them are in core/hosts.hpp.
#pragma once
#include "hosts/adapters.hpp"

namespace zoq {

// The adapter objects, alive as long as the plug-in's state.
struct HostAdapters {
  IskyHostApi isky;
  TableHostApi table;
  VlqHostApi vlq;
  WxHostApi wx;
  XqHostApi xq;
  OqHostApi oq;
  MingQqHostApi mingqq;
  SpHostApi sp;
  ErHostApi er;
  MyQqHostApi myqq;
  XqHostApi xqReport;  // never bound: receives the runtime-error report only
};

}  // namespace zoq
