#pragma once

// Plugs the algorithm editor, the algorithm-type warning and the variable
// editor into the window's hooks, so that "Edit algorithm..." and "Edit
// variables..." work and Continue is checked. Called once at start-up.

void installAlgorithmAndVariableEditors();
