// Run initialisation: turns the client's "|"-separated descriptor URI list into the records of
// a new run and decides, from the first URI, how the run's files are fetched.
#pragma once

void initPkgInstall(const char *uriList);
