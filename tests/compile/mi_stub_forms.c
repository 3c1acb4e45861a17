/* A provider written against the CMPI 2.0 headers ends its MI stubs with or without a semicolon;
 * both forms must build, in C and in C++. Compiled only (ctest cmpi_stub_forms_*). */
#include <cmpi/cmpimacs.h>

const CMPIBroker *stubBroker;

/* Instance MI. */
CMPIStatus FormCleanup(CMPIInstanceMI *, const CMPIContext *, CMPIBoolean);
CMPIStatus FormEnumInstanceNames(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                                 const CMPIObjectPath *);
CMPIStatus FormEnumInstances(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                             const CMPIObjectPath *, const char **);
CMPIStatus FormGetInstance(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                           const CMPIObjectPath *, const char **);
CMPIStatus FormCreateInstance(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                              const CMPIObjectPath *, const CMPIInstance *);
CMPIStatus FormModifyInstance(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                              const CMPIObjectPath *, const CMPIInstance *, const char **);
CMPIStatus FormDeleteInstance(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                              const CMPIObjectPath *);
CMPIStatus FormExecQuery(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                         const CMPIObjectPath *, const char *, const char *);

/* Association MI. */
CMPIStatus FormAssociationCleanup(CMPIAssociationMI *, const CMPIContext *, CMPIBoolean);
CMPIStatus FormAssociators(CMPIAssociationMI *, const CMPIContext *, const CMPIResult *,
                           const CMPIObjectPath *, const char *, const char *, const char *,
                           const char *, const char **);
CMPIStatus FormAssociatorNames(CMPIAssociationMI *, const CMPIContext *, const CMPIResult *,
                               const CMPIObjectPath *, const char *, const char *, const char *,
                               const char *);
CMPIStatus FormReferences(CMPIAssociationMI *, const CMPIContext *, const CMPIResult *,
                          const CMPIObjectPath *, const char *, const char *, const char **);
CMPIStatus FormReferenceNames(CMPIAssociationMI *, const CMPIContext *, const CMPIResult *,
                              const CMPIObjectPath *, const char *, const char *);

/* Method MI. */
CMPIStatus FormMethodCleanup(CMPIMethodMI *, const CMPIContext *, CMPIBoolean);
CMPIStatus FormInvokeMethod(CMPIMethodMI *, const CMPIContext *, const CMPIResult *,
                            const CMPIObjectPath *, const char *, const CMPIArgs *, CMPIArgs *);

/* Property MI. */
CMPIStatus FormPropertyCleanup(CMPIPropertyMI *, const CMPIContext *, CMPIBoolean);
CMPIStatus FormSetProperty(CMPIPropertyMI *, const CMPIContext *, const CMPIResult *,
                           const CMPIObjectPath *, const char *, const CMPIData);
CMPIStatus FormGetProperty(CMPIPropertyMI *, const CMPIContext *, const CMPIResult *,
                           const CMPIObjectPath *, const char *);

/* Indication MI. */
CMPIStatus FormIndicationCleanup(CMPIIndicationMI *, const CMPIContext *, CMPIBoolean);
CMPIStatus FormAuthorizeFilter(CMPIIndicationMI *, const CMPIContext *, const CMPISelectExp *,
                               const char *, const CMPIObjectPath *, const char *);
CMPIStatus FormMustPoll(CMPIIndicationMI *, const CMPIContext *, const CMPISelectExp *,
                        const char *, const CMPIObjectPath *);
CMPIStatus FormActivateFilter(CMPIIndicationMI *, const CMPIContext *, const CMPISelectExp *,
                              const char *, const CMPIObjectPath *, CMPIBoolean);
CMPIStatus FormDeActivateFilter(CMPIIndicationMI *, const CMPIContext *, const CMPISelectExp *,
                                const char *, const CMPIObjectPath *, CMPIBoolean);

/* A stub without a semicolon reads to clang-format as one long statement. */
/* clang-format off */
/* With a semicolon. */
CMInstanceMIStub(Form, WithSemicolon, stubBroker, CMNoHook);
CMAssociationMIStub(Form, WithSemicolon, stubBroker, CMNoHook);
CMMethodMIStub(Form, WithSemicolon, stubBroker, CMNoHook);
CMPropertyMIStub(Form, WithSemicolon, stubBroker, CMNoHook);
CMIndicationMIStub(Form, WithSemicolon, stubBroker, CMNoHook);

/* Without. */
CMInstanceMIStub(Form, WithoutSemicolon, stubBroker, CMNoHook)
CMAssociationMIStub(Form, WithoutSemicolon, stubBroker, CMNoHook)
CMMethodMIStub(Form, WithoutSemicolon, stubBroker, CMNoHook)
CMPropertyMIStub(Form, WithoutSemicolon, stubBroker, CMNoHook)
CMIndicationMIStub(Form, WithoutSemicolon, stubBroker, CMNoHook)
    /* clang-format on */
