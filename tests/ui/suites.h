#pragma once

// Each suite runs as its own QtTest object inside the one ui_tests program.
int runForm1LayoutTests(int argc, char** argv);
int runForm1BehaviourTests(int argc, char** argv);
int runPanelCacheStyleTests(int argc, char** argv);
