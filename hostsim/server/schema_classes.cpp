// The CIM schema classes that the project's classes derive from, cut down to the features the
// hosted providers serve (keys first), since the full schema is not shipped with the project.
#include "class_repository.h"

namespace hostsim::server {

const char *cim_schema_mof() {
    return R"MOF(
class CIM_ManagedElement {
    string InstanceID;
    string Caption;
    string Description;
    string ElementName;
};

class CIM_ManagedSystemElement : CIM_ManagedElement {
    string Name;
    uint16 OperationalStatus[];
    string StatusDescriptions[];
    uint16 HealthState;
};

class CIM_LogicalElement : CIM_ManagedSystemElement {
};

class CIM_EnabledLogicalElement : CIM_LogicalElement {
    uint16 EnabledState;
    uint16 RequestedState;
};

class CIM_Service : CIM_EnabledLogicalElement {
    [Key] string SystemCreationClassName;
    [Key] string SystemName;
    [Key] string CreationClassName;
    [Key, Override ( "Name" )] string Name;
};

class CIM_SoftwareInstallationService : CIM_Service {
    uint32 InstallFromURI(
        [IN ( false ), OUT] CIM_ConcreteJob REF Job,
        [IN] string URI,
        [IN] CIM_ManagedElement REF Target,
        [IN] uint16 InstallOptions[],
        [IN] string InstallOptionsValues[]);
};

class CIM_Job : CIM_LogicalElement {
    string JobStatus;
    datetime TimeSubmitted;
    datetime StartTime;
    datetime ElapsedTime;
    uint16 PercentComplete;
    boolean DeleteOnCompletion;
    uint16 ErrorCode;
    string ErrorDescription;
};

class CIM_ConcreteJob : CIM_Job {
    [Key, Override ( "InstanceID" )] string InstanceID;
    [Override ( "Name" )] string Name;
    uint16 JobState;
    datetime TimeOfLastStateChange;
    datetime TimeBeforeRemoval;
    uint32 RequestStateChange(
        [IN] uint16 RequestedState,
        [IN] datetime TimeoutPeriod);
};

class CIM_System : CIM_EnabledLogicalElement {
    [Key] string CreationClassName;
    [Key, Override ( "Name" )] string Name;
};

class CIM_ComputerSystem : CIM_System {
};

class CIM_UnitaryComputerSystem : CIM_ComputerSystem {
};

class CIM_LogicalDevice : CIM_EnabledLogicalElement {
    [Key] string SystemCreationClassName;
    [Key] string SystemName;
    [Key] string CreationClassName;
    [Key] string DeviceID;
};

class CIM_Controller : CIM_LogicalDevice {
};

class CIM_PortController : CIM_Controller {
};

class CIM_LogicalPort : CIM_LogicalDevice {
};

class CIM_NetworkPort : CIM_LogicalPort {
    string PermanentAddress;
};

class CIM_EthernetPort : CIM_NetworkPort {
};

class CIM_FCPort : CIM_NetworkPort {
};

class CIM_PhysicalElement : CIM_ManagedSystemElement {
    [Key] string CreationClassName;
    [Key] string Tag;
    string Manufacturer;
    string Model;
    string SerialNumber;
    string Version;
};

class CIM_PhysicalPackage : CIM_PhysicalElement {
};
)MOF";
}

} // namespace hostsim::server
