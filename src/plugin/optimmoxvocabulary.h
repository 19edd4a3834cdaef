#pragma once

// The thirteen words the plug-in adds to the host's script interpreter under
// the module "CmdOp".

class MoxIFC;
class OptimHelmdeckPlugin;

bool registerOptimMoxVocabulary(MoxIFC *mox, OptimHelmdeckPlugin *plugin);
