#pragma once

struct AppEnvironment;
struct GroupEditorServices;

// Gives the editor what its choices need of this program: the shortcut service as the recorder's
// store with this platform's key codes, the application chooser, and the opener section.
void addEditorChoiceServices(GroupEditorServices &services, const AppEnvironment &environment);
