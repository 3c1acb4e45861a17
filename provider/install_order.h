// Installation ordering: lowers the OrderFlag of every package that another package of the run
// needs first, then writes the installation sequence PkgSeq by ascending OrderFlag.
#pragma once

// Runs once per run, after every descriptor of the run has been read.
void OrderPkgInstallation();
