#pragma once

// Where the running app is found on the session bus: its name (held by one
// instance at a time), its object and the control interface's name. The
// interface's version is in its name: a change that breaks callers gets a
// new interface beside this one.
#define TAVUNO_BUS_NAME "com.tavuno.Tavuno"
#define TAVUNO_OBJECT_PATH "/com/tavuno/Tavuno"
#define TAVUNO_CONTROL_INTERFACE "com.tavuno.Tavuno1"
// The error a command that failed replies with; its message is the app's,
// in the app's language.
#define TAVUNO_FAILED_ERROR "com.tavuno.Tavuno1.Error.Failed"
