// The host's client dataset class. The host hands an instance of it to the
// package, which uses only the dataset operations of TClientDataSet.
#pragma once

#include "host/HostExport.h"
#include "platform/ClientDataSet.h"

class QUORL_HOST_API TQuorlClientDataSet : public TClientDataSet {};
