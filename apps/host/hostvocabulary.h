#pragma once

// The host's MOX words (module "host"): the host script functions the
// plug-in calls, the design functions of back annotation, a few host
// commands, and the ui_* test aids. docs/host.md lists them all.

class HelmdeckHost;

bool registerHostVocabulary(HelmdeckHost *host);
